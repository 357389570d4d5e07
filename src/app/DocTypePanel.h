#pragma once

#include <functional>

#include <QWidget>

class QCheckBox;
class QLabel;
class QListWidget;

namespace nuv {

// `Panel1` of the left column: the title picture `Image28`, the document-type list
// `LBDocType` and under it `CbShown`, whether "图片提取" adds the pictures the page shows. Only the user's selection runs `onSelect`: a click, even on the selected
// entry, or a key that moves the selection; a selection the program sets runs nothing.
// While `busy` answers true the list takes no key or mouse input, so the selection never
// moves silently and nothing is queued.
class DocTypePanel : public QWidget {
    Q_OBJECT
public:
    DocTypePanel(QWidget* parent, std::function<void()> onSelect, std::function<bool()> busy);

    QLabel* Image28{};
    QListWidget* LBDocType{};
    QCheckBox* CbShown{};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<bool()> busy_;
};

}  // namespace nuv
