#include "shell/run_journal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

constexpr char kWorkFolderPrefix[] = ".moviepacker-";

// The start time of a process in clock ticks since boot (field 22 of
// /proc/PID/stat); empty when the process does not exist.
std::string ProcessStart(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return {};
    // The command name may hold blanks and parentheses: fields follow the last ')'.
    const size_t close = line.rfind(')');
    if (close == std::string::npos) return {};
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22) return field;
    return {};
}

bool Alive(long pid, const std::string& start) {
    return pid > 0 && ProcessStart(pid) == start;
}

}  // namespace

std::string RunJournal::DefaultFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return std::string(state) + "/moviepacker/runs";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && home[0] != '\0' ? home : "/tmp") +
           "/.local/state/moviepacker/runs";
}

RunJournal::RunJournal(std::string folder) : m_folder(std::move(folder)) {
    const long pid = long(getpid());
    m_path = m_folder + "/" + std::to_string(pid) + "-" + ProcessStart(pid);
}

RunJournal::~RunJournal() { clear(); }

void RunJournal::noteOutput(const std::string& placeholder, const std::string& workFolder) {
    std::error_code ec;
    fs::create_directories(m_folder, ec);
    struct stat st {};
    const bool have = lstat(placeholder.c_str(), &st) == 0;
    // Written aside and renamed, so a kill never leaves half a journal.
    const std::string temp = m_path + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << "work\t" << workFolder << "\n";
        if (have) out << "placeholder\t" << st.st_ino << "\t" << placeholder << "\n";
        if (!out) return;
    }
    fs::rename(temp, m_path, ec);
}

void RunJournal::clear() {
    std::error_code ec;
    fs::remove(m_path, ec);
}

int CleanDeadRuns(const std::string& folder) {
    int removed = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        const bool partial = entry.path().extension() == ".new";
        if (partial) name.resize(name.size() - 4);
        const size_t dash = name.find('-');
        if (dash == std::string::npos) continue;
        const long pid = std::strtol(name.substr(0, dash).c_str(), nullptr, 10);
        if (Alive(pid, name.substr(dash + 1))) continue;
        std::ifstream in(entry.path());
        std::string line;
        while (!partial && std::getline(in, line)) {
            std::istringstream f(line);
            std::string kind;
            std::getline(f, kind, '\t');
            if (kind == "work") {
                std::string work;
                std::getline(f, work);
                // Only a work folder of ours, never anything else the line might name.
                if (PathFileName(work).rfind(kWorkFolderPrefix, 0) == 0 &&
                    fs::is_directory(fs::symlink_status(work, ec)) &&
                    fs::remove_all(work, ec) > 0)
                    ++removed;
            } else if (kind == "placeholder") {
                std::string ino, path;
                std::getline(f, ino, '\t');
                std::getline(f, path);
                struct stat st {};
                // Still our empty file: nobody has written there since.
                if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 &&
                    std::to_string(st.st_ino) == ino)
                    unlink(path.c_str());
            }
        }
        fs::remove(entry.path(), ec);
    }
    return removed;
}
