#include "platform/qt/settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

QString from_local(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string to_local(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::string to_utf8(const QString& text) { return text.toUtf8().toStdString(); }

std::string reason(int error) { return std::strerror(error); }

SettingsReading trouble(std::string why) {
  SettingsReading reading;
  reading.trouble = std::move(why);
  return reading;
}

// The file's bytes, up to one more than the largest settings file; false when it cannot be read.
bool read_bytes(int fd, QByteArray& bytes) {
  bytes.resize(SettingsFile::kLargestFile + 1);
  qsizetype got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, static_cast<std::size_t>(bytes.size() - got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += n;
  }
  bytes.resize(got);
  return true;
}

// Settings are UTF-8 text: a NUL or a byte out of place says the file is something else.
bool is_text(const QByteArray& bytes) {
  if (bytes.contains('\0')) return false;
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString decoded = utf8(bytes);
  return !utf8.hasError();
}

// Why the file cannot be given to QSettings, or "" when it can (or is not there).
std::string unreadable(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return errno == ENOENT ? "" : "cannot be read (" + reason(errno) + ")";
  if (!S_ISREG(status.st_mode)) return "is not a file";
  // Root reads whatever the permission bits say; everyone else is told here rather than by an
  // empty QSettings. O_NONBLOCK: a device or pipe swapped in since the look above must not wait.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "cannot be read (" + reason(errno) + ")";
  QByteArray bytes;
  const bool read = read_bytes(fd, bytes);
  const int error = errno;
  ::close(fd);
  if (!read) return "cannot be read (" + reason(error) + ")";
  if (bytes.size() > SettingsFile::kLargestFile) return "is too large to be a settings file";
  if (!is_text(bytes)) return "is not a text file";
  return "";
}

bool missing(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) != 0 && errno == ENOENT;
}

// Qt tells of values it cannot make into a type (@Variant(...) of a type it lacks) on stderr; the
// program says once what it could not use, and nothing else.
class QuietQt {
 public:
  QuietQt() : previous_(qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {})) {}
  ~QuietQt() { qInstallMessageHandler(previous_); }
  QuietQt(const QuietQt&) = delete;
  QuietQt& operator=(const QuietQt&) = delete;

 private:
  QtMessageHandler previous_;
};

// A value as text: a text as it is; a list, which QSettings makes of a text with commas that was
// written by hand without quotes, as its items joined again; anything else is no text.
bool as_text(const QVariant& value, std::string& text) {
  if (value.typeId() == QMetaType::QString) {
    text = to_utf8(value.toString());
    return true;
  }
  if (value.typeId() == QMetaType::QStringList) {
    text = to_utf8(value.toStringList().join(QStringLiteral(", ")));
    return true;
  }
  return false;
}

SettingsReading read_with_qsettings(const std::string& path) {
  const QuietQt quiet;
  const QSettings file(from_local(path), QSettings::IniFormat);
  SettingsReading reading;
  if (file.status() == QSettings::AccessError) return trouble("cannot be read");
  if (file.status() == QSettings::FormatError) reading.trouble = "has lines that are no settings";
  for (const QString& key : file.allKeys()) {
    std::string text;
    if (as_text(file.value(key), text))
      reading.values[to_utf8(key)] = text;
    else
      reading.unread.push_back(to_utf8(key));
  }
  return reading;
}

// The file a write replaces: where a symbolic link points, so that the link stays a link.
std::string write_target(const std::string& path) {
  const QString canonical = QFileInfo(from_local(path)).canonicalFilePath();
  return canonical.isEmpty() ? path : to_local(canonical);
}

std::string write_temporary(const std::string& temporary, const SettingsValues& values) {
  ::unlink(temporary.c_str());  // what a write that failed half-way left
  QSettings file(from_local(temporary), QSettings::IniFormat);
  for (const auto& [key, text] : values) file.setValue(QString::fromStdString(key), QString::fromStdString(text));
  file.sync();
  if (file.status() == QSettings::NoError && !missing(temporary)) return "";
  const int error = errno;
  ::unlink(temporary.c_str());
  return "cannot write " + temporary + (error != 0 ? " (" + reason(error) + ")" : "");
}

// The file as it was becomes the backup, replaced in one step too: a hard link to it takes the
// backup's name. Where links cannot be made, the backup is a copy.
void keep_backup(const std::string& target) {
  if (missing(target)) return;
  const std::string backup = target + ".bak";
  const std::string temporary = backup + ".new";
  ::unlink(temporary.c_str());
  if (::link(target.c_str(), temporary.c_str()) != 0 &&
      !QFile::copy(from_local(target), from_local(temporary)))
    return;
  if (::rename(temporary.c_str(), backup.c_str()) != 0) ::unlink(temporary.c_str());
}

}  // namespace

SettingsReading SettingsFile::read() {
  if (const std::string why = unreadable(path_); !why.empty()) return trouble(why);
  if (missing(path_)) return {};
  return read_with_qsettings(path_);
}

std::string SettingsFile::write(const SettingsValues& values) {
  const std::string target = write_target(path_);
  const QString folder = QFileInfo(from_local(target)).absolutePath();
  if (!QDir().mkpath(folder)) return "cannot make the folder " + to_local(folder);
  const std::string temporary = target + ".new";
  errno = 0;
  if (std::string why = write_temporary(temporary, values); !why.empty()) return why;
  keep_backup(target);
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return "cannot replace " + target + " (" + reason(error) + ")";
  }
  return "";
}

std::string default_settings_path() {
  // Qt takes $XDG_CONFIG_HOME when it is an absolute path, and ~/.config otherwise.
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return to_local(config + QStringLiteral("/quillport/quillport.ini"));
}

}  // namespace platform
