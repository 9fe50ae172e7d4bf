// Icons and kinds for the file prompt's list, told from names and the file system's own record alone.
//
// Qt's provider names a file's kind from its MIME type, and finds that by reading the file's first
// bytes. On Linux a read can wait for good: /proc/kmsg (readable by root) waits for the next kernel
// message, a FUSE or network file for its server. The prompt lists a folder as soon as its name is
// typed, and the kind of each entry is asked on the UI thread, so typing "/proc/" froze the window.
// This provider never opens an entry: a file's kind and icon come from its name's MIME type (by
// extension), anything else gets the generic icon of what it is (folder, link, device).
#pragma once

#include <QFileIconProvider>

namespace platform {

class NameIconProvider final : public QFileIconProvider {
 public:
  NameIconProvider();

  using QFileIconProvider::icon;
  QIcon icon(const QFileInfo& info) const override;
  QString type(const QFileInfo& info) const override;
};

}  // namespace platform
