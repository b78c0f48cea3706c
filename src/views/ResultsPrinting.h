#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class QPrinter;

// What the import-results list prints: column titles and cell texts in the
// grid's order, the printed width of each column position in millimetres,
// and the date of the title line.
struct ResultsPrintData
{
    QStringList titles;
    QList<QStringList> rows;
    QList<int> widthsMm;
    QDate date;
};

// The page arithmetic of the printed list.
namespace ResultsPageLayout {

// Printer pixels for whole millimetres: pixelsPerInch x (mm x 10) / 254 in
// one multiply-then-divide, rounded to the nearest (halves away from zero).
int millimetresToPixels(int pixelsPerInch, int millimetres);
// Rows that fit below the page header of a page whose header starts at top;
// at least one.
int rowsPerPage(int printableHeight, int top, int headerHeight, int lineHeight);
// Pages needed for the rows; a list without rows still prints one page.
int pageCount(int rows, int rowsPerPage);
// A cell as printed: "Vrai" becomes "    X", "Faux" nothing.
QString printedText(const QString &shown);

} // namespace ResultsPageLayout

// Prints the list on a printer already chosen (its orientation is set to
// landscape here): a title line with the page number on every page, the
// column titles, then one line per row, every cell clipped to its width.
class ResultsPrinter
{
public:
    // False with a French message in *error when the printing could not be done.
    static bool print(QPrinter &printer, const ResultsPrintData &data, QString *error);

    static constexpr int kTop = 10;
    static constexpr int kLeft = 10;
};
