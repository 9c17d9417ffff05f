// The forms on a real X server (Xvfb, started for these tests): what the
// window manager is told about their title bars and captions.

#include "message_boxes.h"
#include "modal_answers.h"
#include "qt_translation.h"
#include "tarnel_application.h"
#include "tarnel_forms.h"
#include "temp_dir.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Bits of _MOTIF_WM_HINTS.
constexpr std::uint32_t kHintsDecorations = 2;
constexpr std::uint32_t kFuncMinimize = 8, kFuncMaximize = 16, kFuncClose = 32;
constexpr std::uint32_t kDecorMinimize = 32, kDecorMaximize = 64;

xcb_connection_t* Connection()
{
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

// The raw contents of a window property.
std::string Property(const QWidget& window, const char* name)
{
    xcb_connection_t* c = Connection();
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, std::strlen(name), name), nullptr);
    if (!atom)
        return {};
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, static_cast<xcb_window_t>(window.winId()), atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
        nullptr);
    std::free(atom);
    if (!reply)
        return {};
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
    std::string value(data, static_cast<std::size_t>(xcb_get_property_value_length(reply))); // bytes
    std::free(reply);
    return value;
}

std::vector<std::uint32_t> MotifHints(const QWidget& window)
{
    const std::string raw = Property(window, "_MOTIF_WM_HINTS");
    std::vector<std::uint32_t> words(raw.size() / 4);
    std::memcpy(words.data(), raw.data(), words.size() * 4);
    return words;
}

} // namespace

TEST(X11TitleBars, TheWindowManagerIsToldTheButtonsOfEachForm)
{
    TempDir dir;
    TarnelForms forms(dir.File("vok-tarnel.ini"), {});
    struct Case {
        QWidget* form;
        bool minimise, close;
    };
    const Case cases[] = {
        {forms.MainForm.get(), true, true},
        {forms.ModBusRegEditForm.get(), false, false},
        {forms.ProgressBarForm.get(), false, false},
        {forms.FSSyntaxRep.get(), false, true},
    };
    for (const Case& c : cases) {
        const std::string name = c.form->objectName().toStdString();
        c.form->show();
        QCoreApplication::processEvents();
        const auto hints = MotifHints(*c.form);
        c.form->hide();
        ASSERT_GE(hints.size(), 3u) << name;
        const std::uint32_t functions = hints[1], decorations = hints[2];
        // Decorations are given, not left to the window manager.
        EXPECT_TRUE(hints[0] & kHintsDecorations) << name;
        EXPECT_FALSE(decorations & kDecorMaximize) << name;
        EXPECT_FALSE(functions & kFuncMaximize) << name;
        EXPECT_EQ(bool(decorations & kDecorMinimize), c.minimise) << name;
        EXPECT_EQ(bool(functions & kFuncMinimize), c.minimise) << name;
        EXPECT_EQ(bool(functions & kFuncClose), c.close) << name;
    }
}

TEST(X11TitleBars, TheConfirmationsCaptionIsBlank)
{
    std::string caption = "not read";
    ModalAnswers answers;
    answers.Expect([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                   [&](QWidget* w) {
                       caption = Property(*w, "_NET_WM_NAME");
                       qobject_cast<QMessageBox*>(w)->button(QMessageBox::No)->click();
                   });
    EXPECT_FALSE(Confirm(QStringLiteral("Вы уверены?")));
    EXPECT_TRUE(answers.Done());
    EXPECT_TRUE(QString::fromStdString(caption).trimmed().isEmpty()) << '"' << caption << '"';
}

namespace {

// Starts Xvfb on a free display; its number, or -1.
int StartXvfb(pid_t& pid)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    pid = ::fork();
    if (pid == 0) {
        // The server ends with the tests, however they end, and keeps off
        // their output.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                 static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char ch = 0;
    while (::poll(&p, 1, 20000) == 1 && ::read(fds[0], &ch, 1) == 1 && ch != '\n')
        number += ch;
    ::close(fds[0]);
    return number.empty() ? -1 : std::atoi(number.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    pid_t xvfb = -1;
    const int display = StartXvfb(xvfb);
    if (display < 0) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    qputenv("DISPLAY", QByteArray(":") + QByteArray::number(display));
    qputenv("QT_QPA_PLATFORM", "xcb");
    int status = 0;
    {
        TTarnelApplication app(argc, argv);
        InstallQtTranslation(app);
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    ::kill(xvfb, SIGTERM);
    ::waitpid(xvfb, nullptr, 0);
    return status;
}
