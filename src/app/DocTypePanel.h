#pragma once

#include <functional>

#include <QWidget>

class QLabel;
class QListWidget;

namespace nuv {

// `Panel1` of the left column: the title picture `Image28` and the document-type list
// `LBDocType`. Only the user's selection runs `onSelect`: a click, even on the selected
// entry, or a key that moves the selection; a selection the program sets runs nothing.
// While `busy` answers true the list takes no key or mouse input, so the selection never
// moves silently and nothing is queued.
class DocTypePanel : public QWidget {
    Q_OBJECT
public:
    DocTypePanel(QWidget* parent, std::function<void()> onSelect, std::function<bool()> busy);

    QLabel* Image28{};
    QListWidget* LBDocType{};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<bool()> busy_;
};

}  // namespace nuv
