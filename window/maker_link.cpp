#include "window/maker_link.h"

#include "settings/registry_access.h"
#include "window/display_text.h"
#include "window/main_window.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace zentrel::window {

std::string Find_Browser_Command(support::Support_Routines& support) {
    for (platform::Registry_Root root : {platform::HKEY_CURRENT_USER, platform::HKEY_LOCAL_MACHINE}) {
        std::string command = settings::GetRegValue(support, root, Browser_Command_Key, "", platform::REG_SZ, false);
        if (!command.empty()) return command;
    }
    return {};
}

void Start_Browser(const std::string& command_line, const std::string& address) {
    QStringList arguments = QProcess::splitCommand(to_display(command_line));
    if (!arguments.isEmpty()) {
        QString program = arguments.takeFirst();
        if (QProcess::startDetached(program, arguments)) return;
    }
    QDesktopServices::openUrl(QUrl(QStringLiteral("https://") + to_display(address)));
}

void Main_Window::Tivoran_Click() {
    std::string command = Find_Browser_Command(*support_);
    // The command is used as registered: a document placeholder in it stays,
    // the address only follows it after a blank.
    std::string command_line = command.empty() ? std::string() : command + " " + Maker_Address;
    if (setup_.browser_start)
        setup_.browser_start(command_line, Maker_Address);
    else
        Start_Browser(command_line, Maker_Address);
}

}  // namespace zentrel::window
