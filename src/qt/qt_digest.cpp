#include "qt/qt_digest.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace tavric {

std::string QtDigest::sha256_hex(std::string_view data) const {
  const QByteArray bytes(data.data(), static_cast<qsizetype>(data.size()));
  return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
}

}  // namespace tavric
