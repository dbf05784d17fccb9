#pragma once
// Replacing a file's whole content so that, whatever happens (a full disk, a
// failing device, the process killed at any moment), the file is either its
// old self or completely new: never empty, never half written.

#include <QByteArray>
#include <QString>
#include <optional>

struct FileReplaceFailure {
    enum class Step {
        Create,  // the new file could not be made or put in place
        Write    // its content could not be written completely
    };
    Step step;
    int error;  // errno
};

// Writes bytes to a new file beside the target, flushes it to the disk and
// renames it over the target. A symbolic link is followed: what it points to
// is replaced and the link stays. An existing target's permissions (and, for
// root, owner) carry over; a new file gets 0666 less the umask. On failure the
// target is untouched and the new file removed, and the step and errno are
// returned for the caller's own message. Temporary files that an earlier,
// killed, run left beside the same target are removed first.
std::optional<FileReplaceFailure> ReplaceFileContent(const QString& path, const QByteArray& bytes);
