// zqhost pages: run a graph file and show one module's property sheet in the
// terminal.
#include <unistd.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "command.h"
#include "hostmodules.h"
#include "logoptions.h"
#include "stopsignal.h"
#include "terminalsheetdriver.h"
#include "zqfconfigpanel.h"
#include "zqfgraph.h"
#include "zqfgraphfile.h"
#include "zqfmodule.h"
#include "zqfmoduleregistry.h"
#include "zqfxmlfile.h"

namespace {

// The graph holds its modules in the order of the file's <module> elements;
// the file knows their ids.
ZQFModule* FindGraphModule(const ZQFGraph& graph, const std::string& path, const std::string& wanted)
{
    ZQFXMLFile file;
    std::string error;
    if (!file.Load(path, &error)) {
        throw CommandError(error);
    }
    std::string known;
    size_t index = 0;
    for (const pugi::xml_node& element : file.GetDocument().document_element().children("module")) {
        ZQFModule* module = index < graph.GetModules().size() ? graph.GetModules()[index] : nullptr;
        ++index;
        const char* id = element.attribute("id").as_string();
        if (module != nullptr && (wanted == id || wanted == module->GetName())) {
            return module;
        }
        known += (known.empty() ? "" : ", ") + std::string(id);
    }
    throw CommandError("no module '" + wanted + "' in " + path + " (its modules: " + known + ")");
}

ZQIConfigPanel* ConfigPanelOf(ZQFModule& module, const std::string& wanted)
{
    void* panel = nullptr;
    if (!module.QueryInterface(IID_ZQIConfigPanel, &panel) || panel == nullptr) {
        throw CommandError("module '" + wanted + "' has no property pages");
    }
    return static_cast<ZQIConfigPanel*>(panel);
}

// Installs the driver for as long as it lives.
class DriverScope {
public:
    explicit DriverScope(ZQFPropertySheetDriver* driver) : m_previous(ZQFPropertySheet::GetDriver())
    {
        ZQFPropertySheet::SetDriver(driver);
    }
    ~DriverScope() { ZQFPropertySheet::SetDriver(m_previous); }
    DriverScope(const DriverScope&) = delete;
    DriverScope& operator=(const DriverScope&) = delete;

private:
    ZQFPropertySheetDriver* m_previous;
};

int RunPages(Arguments& arguments)
{
    TakeLogLevelOption(arguments);
    const auto path = arguments.TakeOperand();
    const auto wanted = arguments.TakeOperand();
    if (!path || !wanted) {
        throw CommandError("a graph file and a module are needed (see zqhost pages --help)");
    }
    arguments.ExpectNoMore();
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        throw CommandError("the property pages need a terminal");
    }

    const HostGraph host(*path);
    ZQFGraph* const graph = &host.Get();
    ZQIConfigPanel* panel = ConfigPanelOf(*FindGraphModule(*graph, *path, *wanted), *wanted);

    const StopSignal stopSignal;
    if (std::string error; !graph->Start(&error)) {
        throw std::runtime_error(*path + ": " + error);
    }
    int shown = 0;
    {
        // The screen is the view's: log lines wait until it is gone.
        HeldLog viewLog;
        TerminalSheetDriver driver([&stopSignal] { return stopSignal.Raised(); });
        const DriverScope scope(&driver);
        shown = panel->DisplayConfigPanel(nullptr, 0);
        graph->Stop();
        viewLog.Release();
    }
    if (shown < 0) {
        throw std::runtime_error("the terminal cannot show the property pages");
    }
    return 0;
}

}  // namespace

extern const Command kPagesCommand = {
    "pages",
    "run a graph file and show a module's property pages",
    "usage: zqhost pages GRAPH.xml MODULE [LOG OPTIONS]\n\n"
    "Loads the graph file, starts it, and shows the property sheet of the\n"
    "module whose id or name is MODULE in the terminal: its settings page,\n"
    "its statistics page (refreshed every two seconds) and the module\n"
    "statistics. The graph is stopped when the sheet is left. Addresses\n"
    "and ports applied here wait for the module's next start, which does\n"
    "not come while the sheet is shown; the graph file is not changed.\n\n"
    "keys:\n"
    "  Tab, Shift-Tab, Up, Down   move between controls (Up/Down in a list)\n"
    "  Space                      toggle a check box\n"
    "  typing, Backspace          edit a field (the first key replaces it)\n"
    "  Enter                      apply the pages\n"
    "  F2, F3 (PageUp, PageDown)  previous, next page\n"
    "  Esc, F10                   leave\n\n"
    "Log lines written while the pages are shown appear when they close.\n\n"
    ZQHOST_LOG_HELP,
    &RunPages,
};
