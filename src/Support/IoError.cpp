#include "Support/IoError.h"

#include <cstring>

namespace Support {

IoError::IoError(int errorNumber, const QString& path, const QString& operation)
    : std::runtime_error((operation + " " + path + ": " + QString::fromLocal8Bit(std::strerror(errorNumber)))
                             .toStdString()),
      errorNumber_(errorNumber),
      path_(path) {}

QString IoError::description() const { return QString::fromLocal8Bit(std::strerror(errorNumber_)); }

} // namespace Support
