#include "ExportKit/Exporter.h"

#include "Support/AtomicFile.h"
#include "Support/IoError.h"

#include <QDir>

#include <cerrno>
#include <exception>

namespace ExportKit::Exporter {

namespace {

bool isSinglePathComponent(const QString& name) {
    return !name.isEmpty() && name != "." && name != ".." && !name.contains(u'/') && !name.contains(QChar(0));
}

} // namespace

FolderDelivery writeToFolder(const Export& exported, const QString& filename, const QString& folder,
                             const DestinationSet& allowed) {
    if (!allowed.contains(DestinationKind::folder)) throw ExportError::destinationNotAllowed(DestinationKind::folder);
    if (!isSinglePathComponent(filename)) {
        throw ExportError::io("Not a file name: \"" + QString(filename).replace(QChar(0), "\\0") + "\"");
    }
    // An empty folder is no folder: QDir would take it for the working directory.
    if (folder.isEmpty()) throw ExportError::io(Support::IoError(ENOENT, folder, "write").description());
    const QString target = QDir(folder).filePath(filename);
    try {
        Support::AtomicFile::write(target, exported.data());
    } catch (const Support::IoError& error) {
        // The failure stays inside: its folder and reason are what an alert tells.
        std::throw_with_nested(ExportError::io(error.description()));
    }
    return {target, exported.sha256Hex()};
}

QString copyToClipboard(const Export& exported, const ImageFormat& format, const DestinationSet& allowed,
                        Clipboard& clipboard) {
    if (!allowed.contains(DestinationKind::clipboard)) {
        throw ExportError::destinationNotAllowed(DestinationKind::clipboard);
    }
    if (!clipboard.setData(format.mimeType(), exported.data())) {
        throw ExportError::io("The clipboard did not accept the image");
    }
    return exported.sha256Hex();
}

} // namespace ExportKit::Exporter
