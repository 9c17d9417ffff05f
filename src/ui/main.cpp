// vok-tarnel: the service tool's window.

#include "link_settings.h"
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
        std::vector<std::string> portNames;
        for (const PortListEntry& port : ListSerialPorts())
            portNames.push_back(port.name);
        TarnelForms forms(LinkSettingsPath(QCoreApplication::applicationFilePath().toStdString()), portNames);
        forms.MainForm->show();
        app.exec();
    } catch (...) {
        ShowExceptionReport(std::current_exception());
    }
    return 0;
}
