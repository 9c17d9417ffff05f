#include "report_pdf.h"

#include <QFile>
#include <QFont>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

bool WriteReportPdf(const std::string& html, const QString& path, const QString& title, QString& error)
{
    {
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly)) {
            error = probe.errorString();
            return false;
        }
    }
    QPdfWriter writer(path);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("VOK Tarnel V2"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 18),
                                     QPageLayout::Millimeter));
    writer.setResolution(300);
    QTextDocument document;
    // A font with Cyrillic letters, as the HTML asks for; Qt embeds the
    // glyphs used, so the file shows the same text everywhere.
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    document.setHtml(QString::fromStdString(html));
    document.print(&writer);
    return true;
}
