// zqhost pages in a terminal (tmux): the settings page drawn from its
// template with its labels, a port typed into it applied to the running
// module's stack, and the keys that type and the one that leaves.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>

#include "udp_peer.h"

namespace {

namespace fs = std::filesystem;

std::string Shell(const std::string& command)
{
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, n);
        }
        pclose(pipe);
    }
    return output;
}

bool Shows(const std::string& screen, const std::string& pattern) { return std::regex_search(screen, std::regex(pattern)); }

// The labelled local and remote edits of one kind of port, on their row.
std::string PortRow(const std::string& label, const std::string& local, const std::string& remote)
{
    return label + ": +\\[" + local + " *\\].*" + label + ": +\\[" + remote + " *\\]";
}

struct Ports {
    std::string localRTP, localRTCP, remoteRTP, remoteRTCP;
};

// One "RTP out" module carrying G.711 A-law on loopback ports, nothing
// upstream.
void WriteGraph(const fs::path& path, const Ports& ports)
{
    std::ofstream file(path);
    file << "<graph version=\"1\">\n"
         << "  <plugin path=\"" << ZQ_PLUGIN_PATH << "\"/>\n"
         << "  <module id=\"out\" identity=\"64140b77-fb89-4170-bde2-cafc58bf7527\" name=\"RTP out\">\n"
         << "    <settings name=\"ZQMRTPStackProPage\" IID=\"4892c26c-58a0-441a-9388-3cbdb0c6df8e\">\n";
    for (const auto& [name, value] : {std::pair<std::string, std::string>{"LocalIPAddress", "127.0.0.1"},
                                      {"RemoteIPAddress", "127.0.0.1"}, {"LocalRTPPort", ports.localRTP},
                                      {"RemoteRTPPort", ports.remoteRTP}, {"LocalRTCPPort", ports.localRTCP},
                                      {"RemoteRTCPPort", ports.remoteRTCP}}) {
        file << "      <setting name=\"" << name << "\" type=\"STRING\" value=\"" << value << "\"/>\n";
    }
    file << "      <setting name=\"audioG711A\" type=\"BOOL\" value=\"1\"/>\n";
    file << "    </settings>\n  </module>\n</graph>\n";
}

struct TmuxSession {
    ~TmuxSession() { Tmux("kill-server"); }
    std::string Tmux(const std::string& arguments) const
    {
        return Shell("tmux -L zqui" + std::to_string(getpid()) + " -f /dev/null " + arguments + " 2>&1");
    }
    std::string Screen() const { return Tmux("capture-pane -p -t pages"); }

    // The screen once `shows` holds, or as it is when the deadline passes.
    // A terminal tells no one when it has drawn, so this looks.
    std::string WaitFor(const std::function<bool(const std::string&)>& shows) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::string screen = Screen();
        while (!shows(screen) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            screen = Screen();
        }
        return screen;
    }
};

TEST(TerminalView, LabelsThePortsAppliesATypedPortToItsPairAndLeavesOnEsc)
{
    if (Shell("command -v tmux").empty()) {
        GTEST_SKIP() << "tmux is not installed (scripts/bootstrap.sh --with-interop installs it)";
    }
    const fs::path folder = fs::temp_directory_path() / ("zqui-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path graph = folder / "out.xml";
    // Held together, so no two are the same. The module binds the local ones
    // once they are let go.
    Ports ports;
    std::string typedPort;
    {
        const testsupport::UdpPeer held[5];
        ports = {held[0].PortText(), held[1].PortText(), held[2].PortText(), held[3].PortText()};
        typedPort = held[4].PortText();
    }
    WriteGraph(graph, ports);

    TmuxSession tmux;
    tmux.Tmux("new-session -d -s pages -x 80 -y 24 '" + std::string(ZQHOST_PATH) + " pages " + graph.string() +
              " out; echo zqhost-exit=$?; sleep 60'");
    // The page is drawn a piece at a time: wait for all of it.
    static constexpr const char* kLabels[] = {"[RTP stack settings]", "Local",    "Remote",       "Video",
                                              "Audio",                "Data",     "[x] G711A",    "[ ] H261",
                                              "[ ] G7221C-48",        "[ ] FEC",  "127.0.0.1",    "Esc leave",
                                              "Disable Auto SeqNum"};
    const std::string rtpRow = PortRow("RTP", ports.localRTP, ports.remoteRTP);
    const std::string rtcpRow = PortRow("RTCP", ports.localRTCP, ports.remoteRTCP);
    std::string screen = tmux.WaitFor([&](const std::string& s) {
        return std::all_of(std::begin(kLabels), std::end(kLabels),
                           [&s](const char* label) { return s.find(label) != s.npos; }) &&
               Shows(s, rtpRow) && Shows(s, rtcpRow);
    });
    for (const char* label : kLabels) {
        EXPECT_NE(screen.find(label), std::string::npos) << label << " not on\n" << screen;
    }
    EXPECT_TRUE(Shows(screen, rtpRow)) << screen;
    EXPECT_TRUE(Shows(screen, rtcpRow)) << screen;

    // A sending stack edits its RTP ports in the remote RTP field, the third
    // after the local address (the dimmed local one follows it); q is a
    // letter like any other there.
    tmux.Tmux("send-keys -t pages Tab Tab Tab q");
    const std::string typedQ = PortRow("RTP", ports.localRTP, "q");
    screen = tmux.WaitFor([&typedQ](const std::string& s) { return Shows(s, typedQ); });
    EXPECT_TRUE(Shows(screen, typedQ)) << screen;

    tmux.Tmux("send-keys -t pages BSpace " + typedPort + " Enter");
    const std::string applied = PortRow("RTP", typedPort, typedPort);
    screen = tmux.WaitFor([&applied](const std::string& s) { return Shows(s, applied); });
    EXPECT_TRUE(Shows(screen, applied)) << screen;
    EXPECT_NE(screen.find("dimmed ports follow"), std::string::npos) << screen;
    EXPECT_NE(screen.find("at the next start"), std::string::npos) << screen;

    tmux.Tmux("send-keys -t pages F3");
    screen = tmux.WaitFor([](const std::string& s) { return s.find("Cumul packet lost:") != s.npos; });
    EXPECT_NE(screen.find("[RTP stack statistics]"), std::string::npos) << screen;

    tmux.Tmux("send-keys -t pages Escape");
    screen = tmux.WaitFor([](const std::string& s) { return s.find("zqhost-exit=") != s.npos; });
    EXPECT_NE(screen.find("zqhost-exit=0"), std::string::npos) << screen;
    fs::remove_all(folder);
}

}  // namespace
