#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QWidget>

class QCheckBox;
class QLabel;
class QListWidget;

namespace nuv {

// `Panel1` of the left column: the title picture `Image28`, the document-type list
// `LBDocType` and under it `CbShown`, whether "图片提取" adds the pictures the page shows,
// and `CbScroll`, whether it scrolls the page to the end of what it loads first.
// Only the user's selection runs `onSelect`: a click, even on the selected entry, or a
// key that moves the selection; a selection the program sets runs nothing. While `busy`
// answers true the list takes no key or mouse input, so the selection never moves
// silently and nothing is queued.
class DocTypePanel : public QWidget {
    Q_OBJECT
public:
    DocTypePanel(QWidget* parent, std::function<void()> onSelect, std::function<bool()> busy);

    // The title picture from the resources, and the entries of the list.
    void LoadTitlePicture();
    void SetTypes(const std::vector<std::string>& names);
    // The row of the selected entry, -1 when none is; selecting -1 (or a row that is not
    // there) leaves none selected.
    int SelectedType() const;
    void SelectType(int row);
    // Whether CbShown is checked; a change, the program's own included, is signalled.
    bool ShownPictures() const;
    void SetShownPictures(bool on);
    // Whether CbScroll is checked.
    bool ScrollToLoad() const;
    void SetScrollToLoad(bool on);
    // The controls Tab visits, in order.
    std::vector<QWidget*> TabStops() const;

signals:
    void ShownPicturesToggled(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<bool()> busy_;
    QLabel* Image28{};
    QListWidget* LBDocType{};
    QCheckBox* CbShown{};
    QCheckBox* CbScroll{};
};

}  // namespace nuv
