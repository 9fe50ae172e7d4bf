#include "platform/qt/name_icon_provider.h"

#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>

namespace platform {
namespace {

// The MIME type a file's name suggests, by its extension only; invalid when the name says nothing.
QMimeType type_by_name(const QFileInfo& info) {
  const QList<QMimeType> types = QMimeDatabase().mimeTypesForFileName(info.fileName());
  return types.isEmpty() ? QMimeType() : types.first();
}

}  // namespace

// A folder's own icon would be read from a .directory file inside it.
NameIconProvider::NameIconProvider() { setOptions(DontUseCustomDirectoryIcons); }

QIcon NameIconProvider::icon(const QFileInfo& info) const {
  if (info.isDir()) return icon(Folder);
  const QMimeType type = info.isFile() ? type_by_name(info) : QMimeType();
  if (!type.isValid()) return icon(File);
  return QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), icon(File)));
}

QString NameIconProvider::type(const QFileInfo& info) const {
  // Qt's own answer reads only for a plain file; for anything else it goes by the kind of entry.
  if (!info.isFile()) return QFileIconProvider::type(info);
  const QMimeType type = type_by_name(info);
  if (!type.isValid()) return QStringLiteral("File");
  return type.comment().isEmpty() ? type.name() : type.comment();
}

}  // namespace platform
