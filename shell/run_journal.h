#pragma once
// What a run has half-written, noted where a later start finds it. While a
// file is converted its database is written in a work folder beside its
// final place, under a name reserved by an empty file; a process killed
// then leaves both behind. The journal of each run process names them
// ($XDG_STATE_HOME/moviepacker/runs/PID-START, START being the process's
// start time, so a reused process number is not taken for the dead one),
// and the next start removes what journals of dead processes name.
#include <string>

class RunJournal {
  public:
    // Journals live in `folder` (made when missing).
    explicit RunJournal(std::string folder = DefaultFolder());
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // $XDG_STATE_HOME/moviepacker/runs, else ~/.local/state/moviepacker/runs.
    static std::string DefaultFolder();

    // The file being written: its reserved (empty) final name and its work folder.
    void noteOutput(const std::string& placeholder, const std::string& workFolder);
    // Nothing is half-written any more.
    void clear();

  private:
    std::string m_folder, m_path;
};

// Removes the work folders and untouched placeholders that the journals of
// processes no longer running name, then those journals. Journals of live
// processes are left alone. Returns how many work folders went.
int CleanDeadRuns(const std::string& folder = RunJournal::DefaultFolder());
