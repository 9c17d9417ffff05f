// vok-tarnel: the service tool's window.

#include "link_settings.h"
#include "link_value_list.h"
#include "message_boxes.h"
#include "qt_translation.h"
#include "port_list.h"
#include "settings_place.h"
#include "tarnel_application.h"
#include "tarnel_forms.h"
#include "window_options.h"

int main(int argc, char** argv)
{
    if (const auto status = AnswerInfoOption(argc, argv))
        return *status;
    TTarnelApplication app(argc, argv);
    InstallQtTranslation(app);
    try {
        TarnelForms forms(LinkSettingsPath(QCoreApplication::applicationFilePath().toStdString()),
                          TLinkValueList::ChoicesOf(ListSerialPorts()));
        forms.MainForm->show();
        app.exec();
    } catch (...) {
        ShowExceptionReport(std::current_exception());
    }
    return 0;
}
