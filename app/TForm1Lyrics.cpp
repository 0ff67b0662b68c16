// Commands of the lyrics, dictionary and catalogue subsystems. Their menu items and
// buttons are in place; the work behind them arrives with those subsystems.

#include "app/TForm1.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace larkspur {

void TForm1::LookupLyrics(const std::string& name)
{
    (void)name;
    memo1->clear(); // until the lookup exists, a new song at least drops the old lyrics
}

void TForm1::srchenClick() { /* the check mark toggles itself; the search comes later */ }
void TForm1::Versebank1Click()
{
    editsrch->setText(QString::fromLocal8Bit(SearchTerm));
    OpenCatalogueSearch();
}
void TForm1::Quicksave1Click() {}
void TForm1::Speichern1Click() {}
void TForm1::Find1Click() {}
void TForm1::Replace1Click() {}
void TForm1::Translate1Click() {}
void TForm1::Customsearch1Click() {}
void TForm1::nlyricClick() {}
void TForm1::Button3Click() {}

} // namespace larkspur
