#include "SidecarKit/SidecarDocument.h"
#include "SidecarKit/SidecarLoadResult.h"

#include <gtest/gtest.h>

using namespace SidecarKit;

namespace {

QByteArray documentText(const QString& version, const QString& image, const QString& capture, const QString& annotations) {
    QStringList members;
    if (!version.isEmpty()) members << "\"version\":" + version;
    if (!image.isEmpty()) members << "\"image\":" + image;
    if (!capture.isEmpty()) members << "\"capture\":" + capture;
    if (!annotations.isEmpty()) members << "\"annotations\":" + annotations;
    return ("{" + members.join(',') + "}").toUtf8();
}

const QString validImage = R"({"filename":"shot.png","width":800,"height":600,"scale":1.0})";
const QString validCapture = R"({"mode":"region","blocklistApplied":false})";

} // namespace

TEST(SidecarDocument, ReadingRules) {
    using Kind = JSONDecodingError::Kind;
    struct Case {
        QByteArray json;
        std::optional<Kind> error; // nothing: reads
        QString path;
    };
    const std::vector<Case> cases{
        {documentText("0", validImage, validCapture, "[]"), std::nullopt, ""},
        {documentText("-3", validImage, validCapture, "[]"), std::nullopt, ""},
        {documentText("1", validImage, "", "[]"), Kind::keyNotFound, "capture"},
        {documentText("1", validImage, "null", "[]"), Kind::valueNotFound, "capture"},
        {documentText("", validImage, validCapture, "[]"), Kind::keyNotFound, "version"},
        {documentText("1.5", validImage, validCapture, "[]"), Kind::typeMismatch, "version"},
        {documentText("1", R"({"filename":"a.png","width":1,"height":1})", validCapture, "[]"), Kind::keyNotFound,
         "image.scale"},
        {documentText("1", R"({"filename":"a.png","width":1.5,"height":1,"scale":1})", validCapture, "[]"),
         Kind::typeMismatch, "image.width"},
        {documentText("1", validImage, R"({"mode":"region"})", "[]"), Kind::keyNotFound, "capture.blocklistApplied"},
        {documentText("1", validImage, validCapture, ""), Kind::keyNotFound, "annotations"},
        {documentText("1", validImage, validCapture, "{}"), Kind::typeMismatch, "annotations"},
        {documentText("1", validImage, validCapture, R"([{"type":"sticker"},{"type":"box"}])"), Kind::keyNotFound,
         "annotations[1].id"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json.toStdString());
        try {
            SidecarDocument::fromJSON(JSONValue::parse(c.json));
            EXPECT_FALSE(c.error) << "read";
        } catch (const JSONDecodingError& error) {
            ASSERT_TRUE(c.error) << error.what();
            EXPECT_EQ(error.kind(), *c.error) << error.what();
            EXPECT_EQ(formatCodingPath(error.codingPath()), c.path);
        }
    }
}

TEST(SidecarDocument, EmptyAnnotationsAndIgnoredKeys) {
    const QByteArray json = R"({"version":1,"image":{"filename":"a.png","width":1,"height":2,"scale":2,"dpi":72},)"
                            R"("capture":{"mode":"display","blocklistApplied":true},"annotations":[],"future":{}})";
    const auto document = SidecarDocument::fromJSON(JSONValue::parse(json));
    EXPECT_TRUE(document.annotations.empty());
    EXPECT_EQ(document.image, SidecarDocument::ImageMetadata("a.png", 1, 2, 2.0));
    EXPECT_EQ(document.capture, SidecarDocument::CaptureMetadata("display", true));
}

TEST(SidecarLoadResult, FoundResultsDifferBySourceAndWarnings) {
    const SidecarDocument document(1, {"shot.png", 800, 600, 1.0}, {"window", true}, {});
    const auto embedded = SidecarLoadResult::makeFound(document, SidecarSource::embedded);
    EXPECT_EQ(embedded, SidecarLoadResult::makeFound(document, SidecarSource::embedded));
    EXPECT_NE(embedded, SidecarLoadResult::makeFound(document, SidecarSource::file));
    EXPECT_NE(embedded, SidecarLoadResult::makeFound(document, SidecarSource::embedded,
                                                     {SidecarWarning::imageSizeMismatch(1, 2, 3, 4)}));
    EXPECT_NE(embedded, SidecarLoadResult::missing());
    EXPECT_EQ(SidecarLoadResult::missing(), SidecarLoadResult::missing());
}
