// vok-tarnel-screenshots PORT OUTDIR [SIM_PID]: shows the main window with a
// temporary INI file, opens the link to PORT, waits for a few polls and saves
// the tabs "Сервис" and "Обмен" as OUTDIR/tab-service.png and
// OUTDIR/tab-traffic.png; then polls five times a second for half a minute
// and saves the tab "Тренды", zoomed to that half minute, as
// OUTDIR/tab-trends.png. With the process id of the simulated meter it then
// stops that process, so that a poll fails, and saves the tab "Сервис" with
// the stale values as OUTDIR/tab-service-stale.png. Last it lets the finder
// search for all meters and saves the tab "Связь" once the meter is found and
// the search has gone on a while, as OUTDIR/tab-link.png. Between, it edits a
// register and commits it to NVRAM, and saves the tab "История" with the
// snapshots as found and as left as OUTDIR/tab-history.png and their report
// as OUTDIR/report.pdf.

#include "history_settings.h"
#include "history_tab.h"
#include "link_settings.h"
#include "meter_finder_panel.h"
#include "process_pause.h"
#include "qt_translation.h"
#include "traffic_log_model.h"
#include "traffic_tab.h"
#include "tarnel_application.h"
#include "reg_edit_form.h"
#include "tarnel_forms.h"
#include "trends_tab.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

// Stops the simulated meter until a poll has failed, grabs the tab
// "Сервис" while the error box stands over it, dismisses the box and lets
// the meter go on.
bool GrabStale(TTMainForm& form, long long simulator, const QString& path)
{
    form.RegListView->clearSelection();
    form.PageControl1->setCurrentWidget(form.TabSheet1);
    // The error box runs its own loop: it is answered from a timer.
    bool saved = false, grabbed = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || grabbed)
            return;
        grabbed = true;
        saved = form.PollStatusLabel->isVisible() && Grab(form, form.TabSheet1, path);
        form.Link1CloseButton->click();
        box->button(QMessageBox::Ok)->click();
    });
    watcher.start(50);
    // The shortest answer time-out, so that the poll fails within seconds.
    form.Link1CloseButton->click();
    LinkSettingsTexts texts = form.GetLinkSettingsTexts();
    texts.timeout = "20";
    form.SetLinkSettingsTexts(texts);
    if (!PauseProcess(simulator)) {
        std::fprintf(stderr, "the simulator %lld cannot be paused\n", simulator);
        return false;
    }
    form.Link1OpenButton->click();
    const bool failed = WaitFor([&] { return grabbed; }, 20000);
    ResumeProcess(simulator);
    if (!failed)
        std::fprintf(stderr, "no failed poll within 20 s\n");
    return failed && saved;
}

// The snapshots of the history, all meters.
std::vector<SnapshotSummary> Snapshots(THistoryTab& history)
{
    std::vector<SnapshotSummary> all;
    for (const MeterSummary& m : history.Store().Meters())
        for (const SnapshotSummary& s : history.Store().SnapshotsOfMeter(m.id))
            all.push_back(s);
    return all;
}

// A visit as the history keeps it: the snapshot as found at the first poll,
// "Oil Adjust, %" edited and committed to NVRAM, the snapshot as left. Grabs
// the tab "История" with the two chosen and their difference below, and
// writes their report as a PDF.
bool GrabHistory(TarnelForms& forms, const QString& tabPath, const QString& reportPath)
{
    TTMainForm& form = *forms.MainForm;
    THistoryTab& history = *form.HistoryTab;
    if (!WaitFor([&] { return !Snapshots(history).empty(); }, 20000)) {
        std::fprintf(stderr, "no snapshot as found within 20 s\n");
        return false;
    }
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == forms.ModBusRegEditForm.get()) {
            forms.ModBusRegEditForm->ERegValue->setText(QStringLiteral("0.75"));
            forms.ModBusRegEditForm->Button1->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            std::fprintf(stderr, "answered: %s\n", qPrintable(box->text()));
            box->button(box->button(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok)->click();
        }
    });
    answerer.start(50);
    form.PageControl1->setCurrentWidget(form.TabSheet1);
    form.RegListView->selectRow(5);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(form.RegListView, &enter);
    if (!WaitFor([&] { return form.RegListView->item(5, 3)->text() == QStringLiteral("0.750000"); }, 10000)) {
        std::fprintf(stderr, "the edit did not reach the meter\n");
        return false;
    }
    form.SaveToNVRAMButton->click();
    if (!WaitFor([&] { return Snapshots(history).size() >= 2; }, 20000)) {
        std::fprintf(stderr, "no snapshot as left within 20 s\n");
        return false;
    }
    form.PageControl1->setCurrentWidget(&history);
    history.Reload(Snapshots(history).front().meterId);
    QCoreApplication::processEvents();
    QTableWidget& list = *history.SnapshotsView;
    list.clearSelection();
    for (int row = 0; row < list.rowCount(); ++row)
        list.selectionModel()->select(list.model()->index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCoreApplication::processEvents();
    const std::int64_t before = list.item(0, 0)->text().toLongLong();
    const std::int64_t after = list.item(list.rowCount() - 1, 0)->text().toLongLong();
    return Grab(form, &history, tabPath) && history.WriteReport(before, after, reportPath);
}

} // namespace

int main(int argc, char** argv)
{
    TTarnelApplication app(argc, argv);
    InstallQtTranslation(app);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3 && args.size() != 4) {
        std::fprintf(stderr, "usage: vok-tarnel-screenshots PORT OUTDIR [SIM_PID]\n");
        return 2;
    }
    QTemporaryDir iniDir;
    const std::string iniPath = iniDir.filePath(QStringLiteral("vok-tarnel.ini")).toStdString();
    // A history of its own, beside the INI file, never the user's.
    qputenv("XDG_DATA_HOME", iniDir.filePath(QStringLiteral("data")).toUtf8());
    SaveReportPeople(iniPath, {"Иванов И. И.", "Куст 5, скв. 112"});
    TarnelForms forms(iniPath, {{"ttyS0"}, {"ttyUSB0"}});
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
    // A few more polls, so that the traffic list has something to show.
    const int rows = form.TrafficTab->Model().rowCount();
    WaitFor([&] { return form.TrafficTab->Model().rowCount() > rows + 30; }, 10000);
    form.RegListView->selectRow(4);
    // The list shows the time-out and what followed it.
    TrafficLogModel& log = form.TrafficTab->Model();
    for (int row = 0; row < log.rowCount(); ++row) {
        if (log.RowSeverity(row) == TrafficSeverity::Error) {
            form.TrafficTab->TrafficView->scrollTo(log.index(std::max(row - 5, 0), 0), QAbstractItemView::PositionAtTop);
            break;
        }
    }
    const QDir out(args[2]);
    bool saved = Grab(form, form.TabSheet1, out.filePath(QStringLiteral("tab-service.png"))) &&
                 Grab(form, form.TrafficTab, out.filePath(QStringLiteral("tab-traffic.png")));

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
    saved = saved && GrabHistory(forms, out.filePath(QStringLiteral("tab-history.png")),
                                 out.filePath(QStringLiteral("report.pdf")));
    const LinkSettingsTexts settings = form.GetLinkSettingsTexts();
    if (saved && args.size() == 4)
        saved = GrabStale(form, args[3].toLongLong(),
                          out.filePath(QStringLiteral("tab-service-stale.png")));
    form.SetLinkSettingsTexts(settings);
    form.Link1CloseButton->click();

    // Polls queued before the close still drain on the link thread; until
    // they have, the finder says the link is busy. Such a box is answered
    // and the search asked for again.
    TMeterFinderPanel& finder = *form.MeterFinder;
    QTimer boxAnswerer;
    QObject::connect(&boxAnswerer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::fprintf(stderr, "answered: %s\n", qPrintable(box->text()));
            box->button(QMessageBox::Ok)->click();
        }
    });
    boxAnswerer.start(50);
    // "Искать все": the picture shows the meter found and the search going
    // on, its bar counting the probes made of those planned.
    finder.FindAllCheck->setChecked(true);
    bool started = false;
    for (int attempt = 0; attempt < 20 && !started; ++attempt) {
        WaitFor([] { return false; }, 250);
        finder.FindMeterButton->click();
        started = !finder.FindMeterButton->isEnabled();
    }
    const bool found = started && WaitFor([&] {
        return finder.FoundMetersView->rowCount() > 0 && finder.FindProgress->value() >= 40;
    }, 60000);
    if (!found)
        std::fprintf(stderr, "the finder found no meter\n");
    saved = saved && Grab(form, form.TabSheet2, out.filePath(QStringLiteral("tab-link.png")));
    finder.StopFindButton->click();
    WaitFor([&] { return finder.FindMeterButton->isEnabled(); }, 10000);
    form.close();
    return polled && found && saved ? 0 : 1;
}
