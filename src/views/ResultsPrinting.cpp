#include "views/ResultsPrinting.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

#include <algorithm>

namespace ResultsPageLayout {

int millimetresToPixels(int pixelsPerInch, int millimetres)
{
    const qint64 product = qint64(pixelsPerInch) * millimetres * 10;
    const qint64 half = 254 / 2;
    return int((product >= 0 ? product + half : product - half) / 254);
}

int rowsPerPage(int printableHeight, int top, int headerHeight, int lineHeight)
{
    if (lineHeight <= 0)
        return 1;
    return std::max(1, (printableHeight - top - headerHeight - 2 * lineHeight) / lineHeight);
}

int pageCount(int rows, int rowsPerPage)
{
    if (rows <= 0)
        return 1;
    return rows / rowsPerPage + (rows % rowsPerPage ? 1 : 0);
}

QString printedText(const QString &shown)
{
    if (shown == QLatin1String("Vrai"))
        return QStringLiteral("    X");
    if (shown == QLatin1String("Faux"))
        return QString();
    return shown;
}

} // namespace ResultsPageLayout

namespace {

const QFont kBodyFont(QStringLiteral("MS Sans Serif"), 8);

QFont headerFont()
{
    QFont font(QStringLiteral("Arial"), 10);
    font.setBold(true);
    return font;
}

// One printing: the printer's measures and the running position.
class PrintJob
{
public:
    PrintJob(QPrinter &printer, const ResultsPrintData &data) : m_printer(printer), m_data(data)
    {
        m_margin = QFontMetrics(kBodyFont, &printer).horizontalAdvance(QLatin1Char('0'));
        const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
        m_height = page.height() - page.top();
        m_width = page.width() - page.left();
        for (int mm : data.widthsMm)
            m_columnWidths << ResultsPageLayout::millimetresToPixels(printer.logicalDpiX(), mm) + m_margin;
    }

    bool run(QString *error)
    {
        QPainter painter;
        if (!painter.begin(&m_printer)) {
            *error = QStringLiteral("L'impression n'a pas pu commencer sur l'imprimante \"%1\".")
                         .arg(m_printer.printerName());
            return false;
        }
        m_painter = &painter;
        const int line = textHeight(kBodyFont);
        const int header = textHeight(headerFont());
        m_pageCount = ResultsPageLayout::pageCount(
            int(m_data.rows.size()), ResultsPageLayout::rowsPerPage(m_height, ResultsPrinter::kTop, header, line));
        m_y = ResultsPrinter::kTop;
        printPageHeader(line);
        m_y += line;
        for (const QStringList &row : m_data.rows) {
            if (m_y + line > m_height) {
                m_y = ResultsPrinter::kTop;
                if (!m_printer.newPage()) {
                    *error = QStringLiteral("L'imprimante \"%1\" n'a pas accepté une nouvelle page.")
                                 .arg(m_printer.printerName());
                    painter.end();
                    return false;
                }
                printPageHeader(line);
                m_y += line;
            }
            printRow(row, line);
            m_y += line;
        }
        if (!painter.end()) {
            *error = QStringLiteral("L'impression sur l'imprimante \"%1\" a échoué.").arg(m_printer.printerName());
            return false;
        }
        return true;
    }

private:
    int textHeight(const QFont &font) const { return QFontMetrics(font, &m_printer).height(); }

    int textWidth(const QString &text) const
    {
        return QFontMetrics(m_painter->font(), &m_printer).horizontalAdvance(text) + m_margin;
    }

    void printCell(const QString &text, int left, int height, int width)
    {
        m_painter->drawText(QRect(left, m_y, std::max(0, width), height),
                            Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }

    void printPageHeader(int line)
    {
        ++m_pageNumber;
        m_painter->setFont(headerFont());
        const int h = textHeight(headerFont());
        const QString title = QStringLiteral("Tolvarenix Pelmacor - Résultat de l'importation du ")
                              + m_data.date.toString(QStringLiteral("dd/MM/yyyy"));
        printCell(title, ResultsPrinter::kLeft, h,
                  textWidth(title + QStringLiteral(" - page ") + QString::number(m_pageNumber)));
        const QString pageText = QStringLiteral("Page %1 / %2").arg(m_pageNumber).arg(m_pageCount);
        const int pageLeft = m_width - textWidth(pageText);
        printCell(pageText, pageLeft, h, m_width - pageLeft);
        m_y += h + line;

        m_painter->setFont(kBodyFont);
        int x = ResultsPrinter::kLeft;
        for (int n = 0; n < m_columnWidths.size(); ++n) {
            printCell(m_data.titles.value(n), x, line, m_columnWidths.at(n));
            x += m_columnWidths.at(n);
        }
    }

    void printRow(const QStringList &row, int line)
    {
        int x = ResultsPrinter::kLeft;
        for (int n = 0; n < m_columnWidths.size(); ++n) {
            printCell(ResultsPageLayout::printedText(row.value(n)), x, line, m_columnWidths.at(n));
            x += m_columnWidths.at(n);
        }
    }

    QPrinter &m_printer;
    const ResultsPrintData &m_data;
    QPainter *m_painter = nullptr;
    QList<int> m_columnWidths;
    int m_margin = 0;
    int m_height = 0;
    int m_width = 0;
    int m_y = 0;
    int m_pageNumber = 0;
    int m_pageCount = 0;
};

} // namespace

bool ResultsPrinter::print(QPrinter &printer, const ResultsPrintData &data, QString *error)
{
    printer.setPageOrientation(QPageLayout::Landscape);
    return PrintJob(printer, data).run(error);
}
