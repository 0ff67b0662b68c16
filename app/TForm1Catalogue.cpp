// The lyrics catalogue frame: search by title or full text, page through the hits, load
// the selected hit's song into the lyrics memo. The work is done by CatalogueSearch.

#include "app/TForm1.h"
#include "lyrics/CataloguePage.h"
#include "web/HttpClient.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

namespace larkspur {

namespace {

// Calls `click` on a left mouse press on the watched widget.
class ClickFilter : public QObject
{
  public:
    ClickFilter(QObject* parent, std::function<void()> click)
        : QObject(parent), m_click(std::move(click))
    {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const auto type = event->type();
        if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            m_click();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> m_click;
};

} // namespace

void TForm1::buildCatalogueFrame()
{
    auto* world = new QVBoxLayout(lyrworld);
    world->setContentsMargins(4, 4, 4, 4);
    auto* choice = new QHBoxLayout;
    stitle = new QRadioButton(QStringLiteral("&Title"), lyrworld);
    stitle->setObjectName(QStringLiteral("stitle"));
    stitle->setChecked(true);
    sfull = new QRadioButton(QStringLiteral("&Full text"), lyrworld);
    sfull->setObjectName(QStringLiteral("sfull"));
    choice->addWidget(stitle);
    choice->addWidget(sfull);
    choice->addStretch(1);
    world->addLayout(choice);

    lb = new QTreeWidget(lyrworld);
    lb->setObjectName(QStringLiteral("lb"));
    lb->setColumnCount(3);
    lb->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Text"), QStringLiteral("Link")});
    lb->setColumnWidth(0, 170);
    lb->setColumnWidth(1, 350);
    lb->setColumnHidden(2, true);
    lb->header()->setSectionsClickable(false);
    lb->setRootIsDecorated(false);
    lb->setSelectionMode(QAbstractItemView::SingleSelection);
    lb->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The chosen hit stays marked while the focus is in the memo or the search field.
    QPalette colours = lb->palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    lb->setPalette(colours);
    connect(lb->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                if (!selected.indexes().isEmpty())
                    lbSelectItem(selected.indexes().first().row(), true);
                else if (!deselected.indexes().isEmpty())
                    lbSelectItem(deselected.indexes().first().row(), false);
            });
    world->addWidget(lb, 1);

    auto* bar = new QHBoxLayout;
    btnb = new QPushButton(QStringLiteral("&<<"), lyrworld);
    btnb->setObjectName(QStringLiteral("btnb"));
    btnn = new QPushButton(QStringLiteral("&>>"), lyrworld);
    btnn->setObjectName(QStringLiteral("btnn"));
    for (QPushButton* b : {btnb, btnn}) {
        b->setEnabled(false);
        b->setFixedWidth(40);
    }
    connect(btnb, &QPushButton::clicked, this, &TForm1::btnbClick);
    connect(btnn, &QPushButton::clicked, this, &TForm1::btnnClick);
    lpos = new QLabel(QStringLiteral("1-10"), lyrworld);
    lpos->setObjectName(QStringLiteral("lpos"));
    Label7 = new QLabel(QStringLiteral("Found:"), lyrworld);
    Label7->setObjectName(QStringLiteral("Label7"));
    lanz = new QLabel(QStringLiteral("0"), lyrworld);
    lanz->setObjectName(QStringLiteral("lanz"));
    lbusy = new QLabel(QString(), lyrworld);
    lbusy->setObjectName(QStringLiteral("lbusy"));
    lbusy->installEventFilter(new ClickFilter(lbusy, [this] { lbusyCatalogueClick(); }));
    bar->addWidget(btnb);
    bar->addWidget(btnn);
    bar->addWidget(lpos);
    bar->addStretch(1);
    bar->addWidget(Label7);
    bar->addWidget(lanz);
    bar->addWidget(lbusy);
    world->addLayout(bar);
}

void TForm1::createCatalogueSearch()
{
    CatalogueView view;
    view.setBusy = [this](bool busy) { lbusy->setText(busy ? QStringLiteral("busy") : QString()); };
    view.showNoResult = [this] {
        lb->clear();
        lanz->setText(QStringLiteral("0"));
        lpos->setText(QStringLiteral("1-10"));
    };
    view.showPage = [this](const CataloguePage& page) {
        lanz->setText(QString::fromStdString(page.countText));
        lpos->setText(QString::fromStdString(page.range));
        lb->clear();
        QList<QTreeWidgetItem*> items;
        items.reserve(static_cast<int>(page.rows.size()));
        for (const CatalogueRow& row : page.rows)
            items.append(new QTreeWidgetItem({QString::fromStdString(row.title),
                                              QString::fromStdString(row.text),
                                              QString::fromStdString(row.link)}));
        lb->addTopLevelItems(items);
        btnn->setEnabled(m_catalogue->canPageForward());
        btnb->setEnabled(m_catalogue->canPageBack());
        if (isVisible()) lb->setFocus();
    };
    view.showSong = [this](const std::string& text) { setLyricsText(text); };
    view.showError = [this](const std::string& text) { m_services.showError(text); };
    view.showNote = [this](const std::string& text) { showStatus(text); };
    m_catalogue = std::make_unique<CatalogueSearch>(*this, *m_http, std::move(view));
}

void TForm1::Button3Click()
{
    m_catalogue->search(editsrch->text().toStdString(), stitle->isChecked());
}

void TForm1::btnnClick()
{
    if (m_catalogue->nextPage()) Button3Click();
}

void TForm1::btnbClick()
{
    if (m_catalogue->previousPage()) Button3Click();
}

void TForm1::lbSelectItem(int Item, bool Selected)
{
    if (!Selected || lb->selectedItems().isEmpty() || Item < 0) return;
    if (m_catalogue->loadRow(static_cast<std::size_t>(Item)) == CatalogueSearch::Outcome::Expired)
        Button3Click();
}

void TForm1::lbEditing(bool& AllowEdit)
{
    AllowEdit = false;
}

void TForm1::lbusyCatalogueClick()
{
    m_catalogue->cancel();
}

void TForm1::Versebank1Click()
{
    editsrch->setText(QString::fromStdString(SearchTerm));
    OpenCatalogueSearch();
}

} // namespace larkspur
