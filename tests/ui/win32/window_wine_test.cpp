// The window as it runs on Windows, under Wine on a real X display, with
// Qt's windows platform: it opens the COM port that the simulated meter is
// mapped to (VOK_TEST_PORT) and polls it, its Russian texts have letters to
// be drawn with, and Qt's own texts come from the translation beside the
// program.

#include "form_font.h"
#include "link_thread.h"
#include "link_value_list.h"
#include "main_form.h"
#include "port_list.h"
#include "qt_translation.h"
#include "tarnel_application.h"
#include "tarnel_forms.h"
#include "temp_dir.h"
#include "wait_until.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string_view>

namespace {

QString Cell(const TTMainForm& form, int row, int column)
{
    const QTableWidgetItem* item = form.RegListView->item(row, column);
    return item ? item->text() : QString();
}

// Waits for `done` while no box is up: a box that nobody expects fails the
// test at once with its text instead of blocking it.
void WaitShowingNoBox(const std::function<bool()>& done, const char* what)
{
    QString box;
    const bool ok = WaitUntil([&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            auto* message = qobject_cast<QMessageBox*>(modal);
            box = message ? message->text() : modal->objectName();
            modal->close();
            return true;
        }
        return done();
    });
    ASSERT_TRUE(box.isEmpty()) << what << ": a box came up: " << box.toStdString();
    ASSERT_TRUE(ok) << what;
}

TEST(WindowOnWindows, RunsOnTheWindowsPlatformWithRussianLetters)
{
    EXPECT_EQ(QGuiApplication::platformName(), QStringLiteral("windows"));
    EXPECT_FALSE(QFontDatabase::families(QFontDatabase::Cyrillic).isEmpty());
    // The forms' font is there itself, not a stand-in with other metrics
    // (whose text a line edit of the forms' height does not show), and it
    // draws the texts, not boxes in their place.
    EXPECT_EQ(QFontInfo(FormFont()).family().toStdString(), "Tahoma");
    const QFontMetrics metrics(FormFont());
    for (const char32_t letter : std::u32string_view(U"ОткрытьСерийныйномерЗакрыть")) {
        EXPECT_TRUE(metrics.inFontUcs4(letter)) << "U+" << std::hex << static_cast<unsigned>(letter);
    }
}

TEST(WindowOnWindows, QtTextsAreRussian)
{
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
}

TEST(WindowOnWindows, OpensTheMappedPortAndPolls)
{
    const char* port = std::getenv("VOK_TEST_PORT");
    ASSERT_NE(port, nullptr) << "VOK_TEST_PORT names the port the simulated meter is on";
    // The settings as a Windows editor leaves them, lines ended by CR LF.
    TempDir folder;
    const std::string ini = (folder.Path() / "vok-tarnel.ini").string();
    std::ofstream(ini, std::ios::binary) << "[Link1]\r\nPort=" << port
                                         << "\r\nSpeed=115200\r\nTimeout=200\r\nAddress=1\r\n";
    TarnelForms forms(ini, TLinkValueList::ChoicesOf(ListSerialPorts()));
    TTMainForm& form = *forms.MainForm;
    form.LinkThread->SetAsFoundSnapshots(false);
    form.show();
    ASSERT_TRUE(WaitUntil([&] { return form.windowHandle() && form.windowHandle()->isExposed(); }))
        << "the window is never shown";

    EXPECT_EQ(form.windowTitle(), QStringLiteral("VOK Tarnel V2"));
    EXPECT_EQ(form.Link1OpenButton->text(), QStringLiteral("Открыть"));
    EXPECT_EQ(Cell(form, 0, 0), QStringLiteral("Серийный номер"));

    EXPECT_EQ(form.Link1ValueList->PortBox()->currentText().toStdString(), port);
    EXPECT_EQ(form.GetLinkSettingsTexts(), (LinkSettingsTexts{port, "115200", "200", "1"}));
    form.Link1OpenButton->click();
    ASSERT_NO_FATAL_FAILURE(WaitShowingNoBox([&] { return form.Link1CloseButton->isEnabled(); }, "open"));
    ASSERT_NO_FATAL_FAILURE(WaitShowingNoBox(
        [&] { return Cell(form, 0, 3) == QStringLiteral("20417.000000"); }, "the serial number polled"));
    EXPECT_TRUE(form.PollStatusLabel->isHidden()) << form.PollStatusLabel->text().toStdString();

    form.Link1CloseButton->click();
    ASSERT_NO_FATAL_FAILURE(WaitShowingNoBox([&] { return form.Link1OpenButton->isEnabled(); }, "close"));
}

} // namespace

int main(int argc, char** argv)
{
    TTarnelApplication app(argc, argv);
    if (!InstallQtTranslation(app)) {
        std::fprintf(stderr, "Qt's Russian translation is not beside the program\n");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
