#pragma once
// The main window's file list as a conversion run sees it: statuses and
// comments go into the entries (comments as the list keeps them, Mac Roman
// in 63 bytes), and an entry that was cancelled gets its progress bar back
// when it becomes pending again.
#include "shell/conversion_run.h"
#include "shell/file_list.h"

class FileListRunList final : public RunList {
  public:
    explicit FileListRunList(FileList& files) : m_files(files) {}
    size_t count() const override { return m_files.size(); }
    std::string sourcePath(size_t index) const override { return m_files[index].path(); }
    uint32_t status(size_t index) const override { return uint32_t(m_files[index].status); }
    void setStatus(size_t index, uint32_t status) override;
    void setComment(size_t index, std::string_view comment) override;

  private:
    FileList& m_files;
};
