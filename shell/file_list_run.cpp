#include "shell/file_list_run.h"

#include "platform/mac_roman.h"

void FileListRunList::setStatus(size_t index, uint32_t status) {
    FileListEntry& e = m_files[index];
    if (e.status == kFileStatusCancelled && status == kEntryPending && !e.progress.exists) {
        e.progress.exists = true;
        e.progress.visible = false;
        e.progress.value = 0;
    }
    e.status = int32_t(status);
}

void FileListRunList::setComment(size_t index, std::string_view comment) {
    m_files[index].comment = makeCounted63(utf8ToMacRomanLossy(comment, 63));
}
