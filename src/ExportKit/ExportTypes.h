#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <variant>

namespace ExportKit {

// Where an export may be delivered. The application maps the policy's destinations onto a set
// of these, the "allowed" argument of every delivery.
enum class DestinationKind { clipboard, folder };

inline constexpr std::array<DestinationKind, 2> allDestinationKinds{DestinationKind::clipboard,
                                                                    DestinationKind::folder};
using DestinationSet = std::set<DestinationKind>;

QString rawValue(DestinationKind kind);
// Exact and case-sensitive: "folder" is a destination, "Folder" is not.
std::optional<DestinationKind> destinationKindFromRawValue(const QString& raw);

// PNG, or JPEG with a quality from 0.0 to 1.0.
struct ImageFormat {
    struct Png {
        friend bool operator==(const Png&, const Png&) = default;
    };
    struct Jpeg {
        double quality = 0.9;
        // Compared as floating-point numbers, so a NaN quality equals nothing.
        friend bool operator==(const Jpeg&, const Jpeg&) = default;
    };

    std::variant<Jpeg, Png> value;

    static ImageFormat png() { return {Png{}}; }
    static ImageFormat jpeg(double quality) { return {Jpeg{quality}}; }

    bool isPng() const { return std::holds_alternative<Png>(value); }
    // The JPEG quality; nothing for PNG.
    std::optional<double> jpegQuality() const;
    // "image/png" or "image/jpeg".
    QString mimeType() const;

    friend bool operator==(const ImageFormat&, const ImageFormat&) = default;
};

// The parts of the text burnt into the bottom-right corner of every export.
struct Watermark {
    std::optional<QString> user;
    std::optional<QString> device;
    std::optional<QDateTime> timestamp;

    // The present parts joined by " · ", the time as "yyyy-MM-ddTHH:mm:ssZ" in UTC. A part that is
    // present but empty is kept; no parts at all give the empty string.
    QString text() const;
};

// An encoded image and the SHA-256 of its bytes. Only the encoder makes one.
class Export {
public:
    const QByteArray& data() const { return data_; }
    // 64 lower-case hexadecimal digits, worked out when first asked (an encoded image that is only
    // written, such as a companion, is never hashed). Any thread.
    const QString& sha256Hex() const;

private:
    friend struct ExportFactory;
    explicit Export(QByteArray data) : data_(std::move(data)) {}

    struct Digest {
        std::once_flag once;
        QString hex;
    };
    QByteArray data_;
    std::shared_ptr<Digest> digest_ = std::make_shared<Digest>(); // shared by copies: the same bytes
};

// What is painted behind an exported image, how far it reaches and how round the image's corners are.
struct Backdrop {
    struct Solid {
        QString colorHex;
        friend bool operator==(const Solid&, const Solid&) = default;
    };
    // From colour A to colour B; the angle is in radians, 0 running left to right and a quarter
    // turn running bottom to top of the output.
    struct Gradient {
        QString colorHexA;
        QString colorHexB;
        double angle = 0;
        friend bool operator==(const Gradient&, const Gradient&) = default;
    };
    struct None {
        friend bool operator==(const None&, const None&) = default;
    };
    using Style = std::variant<Solid, Gradient, None>;

    Style style = None{};
    double padding = 0;      // pixels added on each side
    double cornerRadius = 0; // 0 or less: square corners

    static Backdrop none() { return {}; }

    friend bool operator==(const Backdrop&, const Backdrop&) = default;
};

} // namespace ExportKit
