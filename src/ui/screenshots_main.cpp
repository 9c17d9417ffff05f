// vok-tarnel-screenshots PORT OUTDIR: shows the main window with a temporary
// INI file, opens the link to PORT, waits for a poll and saves the tabs
// "Сервис" and "Связь" as OUTDIR/tab-service.png and OUTDIR/tab-link.png;
// then polls five times a second for half a minute and saves the tab
// "Тренды", zoomed to that half minute, as OUTDIR/tab-trends.png.

#include "link_settings.h"
#include "tarnel_application.h"
#include "tarnel_forms.h"
#include "trends_tab.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

bool WaitFor(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return true;
}

bool Grab(TTMainForm& form, QWidget* tab, const QString& path)
{
    form.PageControl1->setCurrentWidget(tab);
    QCoreApplication::processEvents();
    return form.grab().save(path, "PNG");
}

} // namespace

int main(int argc, char** argv)
{
    TTarnelApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: vok-tarnel-screenshots PORT OUTDIR\n");
        return 2;
    }
    QTemporaryDir iniDir;
    const std::string iniPath = iniDir.filePath(QStringLiteral("vok-tarnel.ini")).toStdString();
    TarnelForms forms(iniPath, {"ttyS0", "ttyUSB0"});
    TTMainForm& form = *forms.MainForm;
    LinkSettingsTexts texts;
    texts.port = args[1].toStdString();
    form.SetLinkSettingsTexts(texts);
    form.show();
    form.Link1OpenButton->click();
    if (!form.Link1CloseButton->isEnabled()) {
        std::fprintf(stderr, "the link to %s did not open\n", qPrintable(args[1]));
        return 1;
    }
    // A poll has come back once the serial number shows.
    const bool polled = WaitFor([&] { return form.RegListView->item(0, 3)->text() != "0.000000"; }, 10000);
    if (!polled)
        std::fprintf(stderr, "no poll answer within 10 s\n");
    form.RegListView->selectRow(4);
    const QDir out(args[2]);
    bool saved = Grab(form, form.TabSheet1, out.filePath(QStringLiteral("tab-service.png"))) &&
                 Grab(form, form.TabSheet2, out.filePath(QStringLiteral("tab-link.png")));

    TTrendsTab& trends = *form.Trends;
    form.PageControl1->setCurrentWidget(&trends);
    form.Timer1->setInterval(200);
    const std::size_t before = trends.History().Size();
    WaitFor([] { return false; }, 30000);
    const bool sampled = trends.History().Size() > before + 50;
    if (!sampled)
        std::fprintf(stderr, "too few polls for the trends: %zu\n", trends.History().Size() - before);
    if (!trends.History().Empty())
        trends.ShowRange(trends.History().FirstTime(), trends.History().LastTime());
    saved = saved && sampled && Grab(form, &trends, out.filePath(QStringLiteral("tab-trends.png")));
    form.Link1CloseButton->click();
    form.close();
    return polled && saved ? 0 : 1;
}
