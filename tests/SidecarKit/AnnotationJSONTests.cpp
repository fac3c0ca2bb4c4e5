#include "SidecarKit/AnnotationJSON.h"

#include <gtest/gtest.h>

using namespace SidecarKit;

namespace {

const QUuid someId = QUuid::fromString(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"));

Annotation::Style red() { return {"#FF3B30", 4, 1.0, false, std::nullopt, false}; }

Annotation decodeText(const char* json) { return AnnotationJSON::decode(JSONValue::parse(json)); }

QByteArray encodeText(const Annotation& annotation) { return AnnotationJSON::encode(annotation).serialized(); }

QStringList keysOf(const JSONValue& value) {
    QStringList keys;
    for (const auto& [key, member] : *value.objectValue()) keys << key;
    return keys;
}

} // namespace

TEST(AnnotationJSON, EveryKindRoundTrips) {
    const Annotation::Style fancy{"#00FF00", 2.5, 0.5, true, QString("#000000"), true};
    const std::vector<Annotation> annotations{
        {someId, 1, Annotation::Arrow{{1, 2}, {3.25, -4}, red(), std::nullopt}},
        {someId, 2, Annotation::Arrow{{1, 2}, {3, 4}, fancy, Annotation::Point{5, 6}}},
        {someId, 3, Annotation::Box{{10, 20, 100, 50}, red(), std::nullopt, 0}},
        {someId, 4, Annotation::Box{{10, 20, 100, 50}, fancy, Annotation::Fill{"#123456", 0.25}, 0.7}},
        {someId, 5, Annotation::Ellipse{{-1, -2, 3, 4}, fancy, Annotation::Fill{"#654321", 1}, -1.5}},
        {someId, 6, Annotation::Text{{7, 8}, "Hello \"world\"\n\u00e9\U0001F600", red(), std::nullopt,
                                     Annotation::TextAlignment::left, 0}},
        {someId, 7, Annotation::Text{{7, 8}, "", fancy, QString("Helvetica"), Annotation::TextAlignment::right, 3.1}},
        {someId, 8, Annotation::Blur{{0, 0, 10, 10}, Annotation::RedactionStyle::scramble, 0}},
        {someId, 9, Annotation::Blur{{0, 0, 10, 10}, Annotation::RedactionStyle::solid, 0.1}},
        {someId, 10, Annotation::Freeform{{}, red(), false}},
        {someId, 11, Annotation::Freeform{{{1, 1}, {2, 3}, {0.1, 0.2}}, fancy, true}},
        {someId, 12, Annotation::Line{{0, 0}, {1e-9, 1e300}, red(), false}},
        {someId, 13, Annotation::Line{{0, 0}, {5, 5}, fancy, true}},
        {someId, -14, Annotation::Badge{{50, 60}, std::numeric_limits<std::int64_t>::max(), 12.5, red()}},
    };
    for (const Annotation& annotation : annotations) {
        SCOPED_TRACE(encodeText(annotation).toStdString());
        EXPECT_EQ(AnnotationJSON::decode(JSONValue::parse(encodeText(annotation))), annotation);
    }
}

TEST(AnnotationJSON, RedBoxWritesExactlyItsKeys) {
    const Annotation box(someId, 0, Annotation::Box{{10, 20, 100, 50}, red(), std::nullopt, 0});
    const JSONValue json = AnnotationJSON::encode(box);
    EXPECT_EQ(keysOf(json), (QStringList{"id", "rect", "style", "type", "zIndex"}));
    const auto& object = *json.objectValue();
    EXPECT_EQ(*object.at("id").stringValue(), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
    EXPECT_EQ(*object.at("type").stringValue(), "box");
    EXPECT_EQ(object.at("rect"), JSONValue::parse("[[10,20],[100,50]]"));
    EXPECT_EQ(object.at("style"), JSONValue::parse(R"({"colorHex":"#FF3B30","lineWidth":4})"));
    EXPECT_EQ(keysOf(object.at("style")), (QStringList{"colorHex", "lineWidth"}));
}

TEST(AnnotationJSON, DefaultsAreLeftOutWhenWritten) {
    const char* style = R"("style":{"colorHex":"#FFFFFF","lineWidth":1})";
    // An integral zIndex written with a fraction is read too.
    const QString id = R"("id":"6f9619ff-8b86-d011-b42d-00c04fc964ff","zIndex":2.0,)";
    const auto obj = [&](const QString& rest) { return ("{" + id + rest + "}").toStdString(); };
    const std::vector<std::pair<std::string, QStringList>> cases{
        {obj(R"("type":"text","origin":[1,2],"string":"a","alignment":"left","rotation":0,)" + QString(style)),
         {"id", "origin", "string", "style", "type", "zIndex"}},
        {obj(R"("type":"text","origin":[1,2],"string":"a","rotation":-0.0,)" + QString(style)),
         {"id", "origin", "string", "style", "type", "zIndex"}},
        {obj(R"("type":"freeform","points":[],"closed":false,)" + QString(style)),
         {"id", "points", "style", "type", "zIndex"}},
        {obj(R"("type":"line","from":[0,0],"to":[1,1],"dashed":null,)" + QString(style)),
         {"from", "id", "style", "to", "type", "zIndex"}},
        {obj(R"("type":"blur","rect":[[0,0],[1,1]])"), {"id", "rect", "type", "zIndex"}},
        {obj(R"("type":"blur","rect":[[0,0],[1,1]],"style":"scramble")"), {"id", "rect", "type", "zIndex"}},
        {obj(R"("type":"blur","rect":[[0,0],[1,1]],"style":"solid")"), {"id", "rect", "style", "type", "zIndex"}},
        {obj(R"("type":"box","rect":[[0,0],[1,1]],"fill":null,"extra":5,)" + QString(style)),
         {"id", "rect", "style", "type", "zIndex"}},
        {obj(R"("type":"arrow","from":[0,0],"to":[1,1],"control":null,)" + QString(style)),
         {"from", "id", "style", "to", "type", "zIndex"}},
    };
    for (const auto& [input, keys] : cases) {
        SCOPED_TRACE(input);
        EXPECT_EQ(keysOf(AnnotationJSON::encode(decodeText(input.c_str()))), keys);
    }
}

TEST(AnnotationJSON, StyleKeysHoldingTheirDefaultsAreLeftOut) {
    const auto style = AnnotationJSON::decodeStyle(JSONValue::parse(
        R"({"colorHex":"#FFFFFF","lineWidth":2,"opacity":1,"outline":false,"shadow":false,"outlineColorHex":null})"));
    EXPECT_EQ(AnnotationJSON::encode(style), JSONValue::parse(R"({"colorHex":"#FFFFFF","lineWidth":2})"));
}

TEST(AnnotationJSON, UnknownKindWithOnlyATypeGetsFreshIdAndIsWrittenBackAsRead) {
    const char* input = R"({"type":"sticker","points":[1,2]})";
    const Annotation first = decodeText(input);
    const Annotation second = decodeText(input);
    EXPECT_EQ(first.zIndex, 0);
    EXPECT_FALSE(first.id.isNull());
    EXPECT_NE(first.id, second.id);
    EXPECT_EQ(first.typeName(), "sticker");
    EXPECT_EQ(encodeText(first), R"({"points":[1,2],"type":"sticker"})");
}

TEST(AnnotationJSON, UnknownKindKeepsLargeIntegersAndNestedObjectsExactly) {
    const QByteArray input =
        R"({"type":"hologram","id":"6f9619ff-8b86-d011-b42d-00c04fc964ff","zIndex":-7,)"
        R"("big":9007199254740993,"huge":18446744073709551615,"small":-9223372036854775808,)"
        R"("fraction":0.1,"tiny":5e-324,"whole":3.0,"nested":{"deeper":[{"a":null,"b":[true,false]},"text\u0001"]}})";
    const Annotation annotation = AnnotationJSON::decode(JSONValue::parse(input));
    EXPECT_EQ(annotation.id, someId);
    EXPECT_EQ(annotation.zIndex, -7);
    const QByteArray written = encodeText(annotation);
    EXPECT_EQ(JSONValue::parse(written), JSONValue::parse(input)); // integers compare exactly
    // The kept object is written back whatever the fields say now.
    Annotation moved = annotation;
    moved.zIndex = 99;
    EXPECT_EQ(encodeText(moved), written);
    EXPECT_EQ(annotation.translated(5, 5), annotation);
}

TEST(AnnotationJSON, DecodingErrors) {
    using Kind = JSONDecodingError::Kind;
    const QString id = R"("id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","zIndex":1,)";
    const QString style = R"("style":{"colorHex":"#FFFFFF","lineWidth":1})";
    struct Case {
        QString json;
        Kind kind;
        QString path;
    };
    const std::vector<Case> cases{
        {"[]", Kind::typeMismatch, ""},
        {R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF"})", Kind::keyNotFound, "type"},
        {R"({"type":null})", Kind::valueNotFound, "type"},
        {R"({"type":5})", Kind::typeMismatch, "type"},
        {R"({"type":"arrow","zIndex":1,"from":[0,0],"to":[1,1],)" + style + "}", Kind::keyNotFound, "id"},
        {"{" + id + R"("type":"arrow","from":[0,0],)" + style + "}", Kind::keyNotFound, "to"},
        {"{" + id + R"("type":"arrow","from":[0,0],"to":null,)" + style + "}", Kind::valueNotFound, "to"},
        {"{" + id + R"("type":"arrow","from":"0,0","to":[1,1],)" + style + "}", Kind::typeMismatch, "from"},
        {"{" + id + R"("type":"arrow","from":[0],"to":[1,1],)" + style + "}", Kind::valueNotFound, "from[1]"},
        {"{" + id + R"("type":"arrow","from":[0,"1"],"to":[1,1],)" + style + "}", Kind::typeMismatch, "from[1]"},
        {"{" + id + R"("type":"arrow","from":[0,0],"to":[1,1],"control":{},)" + style + "}", Kind::typeMismatch, "control"},
        {"{" + id + R"("type":"blur","rect":[[0,0],[1,1]],)" + style + "}", Kind::typeMismatch, "style"},
        {"{" + id + R"("type":"blur","rect":[[0,0],[1,1]],"style":"pixelate"})", Kind::dataCorrupted, "style"},
        {"{" + id + R"("type":"blur","rect":[0,0,1,1]})", Kind::dataCorrupted, "rect"},
        {"{" + id + R"("type":"text","origin":[0,0],"string":"x","alignment":"justified",)" + style + "}",
         Kind::dataCorrupted, "alignment"},
        {"{" + id + R"("type":"text","origin":[0,0],"string":"x","rotation":"0",)" + style + "}", Kind::typeMismatch,
         "rotation"},
        {R"({"type":"box","id":"not-a-uuid","zIndex":1,"rect":[[0,0],[1,1]],)" + style + "}", Kind::dataCorrupted, "id"},
        {R"({"type":"box","id":"{6F9619FF-8B86-D011-B42D-00C04FC964FF}","zIndex":1,"rect":[[0,0],[1,1]],)" + style + "}",
         Kind::dataCorrupted, "id"},
        {R"({"type":"box","id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","zIndex":1.5,"rect":[[0,0],[1,1]],)" + style + "}",
         Kind::typeMismatch, "zIndex"},
        {R"({"type":"box","id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","zIndex":9223372036854775808,"rect":[[0,0],[1,1]],)" +
             style + "}",
         Kind::typeMismatch, "zIndex"},
        {"{" + id + R"("type":"box","rect":[[0,0],[1,1]],"fill":{"colorHex":"#000000"},)" + style + "}", Kind::keyNotFound,
         "fill.opacity"},
        {"{" + id + R"("type":"box","rect":[[0,0],[1,1]],"style":{"lineWidth":1}})", Kind::keyNotFound, "style.colorHex"},
        {"{" + id + R"("type":"freeform","points":[[0,0],null],)" + style + "}", Kind::valueNotFound, "points[1]"},
        {"{" + id + R"("type":"badge","center":[0,0],"number":1e30,"radius":3,)" + style + "}", Kind::typeMismatch,
         "number"},
        {R"({"type":"sticker","id":"nope"})", Kind::dataCorrupted, "id"},
        {R"({"type":"sticker","zIndex":"top"})", Kind::typeMismatch, "zIndex"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json.toStdString());
        try {
            AnnotationJSON::decode(JSONValue::parse(c.json.toUtf8()));
            ADD_FAILURE() << "decoded";
        } catch (const JSONDecodingError& error) {
            EXPECT_EQ(error.kind(), c.kind) << error.what();
            EXPECT_EQ(formatCodingPath(error.codingPath()), c.path) << error.what();
        }
    }
}

TEST(AnnotationJSON, NonFiniteNumbersFailToEncode) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<Annotation, QString>> cases{
        {{someId, 0, Annotation::Box{{0, 0, 1, 1}, red(), std::nullopt, nan}}, "rotation"},
        {{someId, 0, Annotation::Line{{0, 0}, {inf, 0}, red(), false}}, "to[0]"},
        {{someId, 0, Annotation::Badge{{0, 0}, 1, 2, {"#FFFFFF", -inf, 1, false, std::nullopt, false}}}, "style.lineWidth"},
    };
    for (const auto& [annotation, path] : cases) {
        try {
            encodeText(annotation);
            ADD_FAILURE() << "encoded " << path.toStdString();
        } catch (const JSONEncodingError& error) {
            EXPECT_EQ(error.kind(), JSONEncodingError::Kind::invalidValue);
            EXPECT_EQ(formatCodingPath(error.codingPath()), path);
        }
    }
}

TEST(Annotation, TranslatedMovesPositionsOnly) {
    const Annotation::Style s = red();
    struct Case {
        Annotation::Kind before;
        Annotation::Kind after;
    };
    const std::vector<Case> cases{
        {Annotation::Box{{10, 20, 100, 50}, s, Annotation::Fill{"#000000", 0.5}, 0.3},
         Annotation::Box{{15, 17, 100, 50}, s, Annotation::Fill{"#000000", 0.5}, 0.3}},
        {Annotation::Ellipse{{0, 0, 1, 2}, s, std::nullopt, 0}, Annotation::Ellipse{{5, -3, 1, 2}, s, std::nullopt, 0}},
        {Annotation::Blur{{1, 1, 2, 2}, Annotation::RedactionStyle::blur, 1},
         Annotation::Blur{{6, -2, 2, 2}, Annotation::RedactionStyle::blur, 1}},
        {Annotation::Arrow{{0, 0}, {1, 1}, s, std::nullopt}, Annotation::Arrow{{5, -3}, {6, -2}, s, std::nullopt}},
        {Annotation::Arrow{{0, 0}, {1, 1}, s, Annotation::Point{2, 2}},
         Annotation::Arrow{{5, -3}, {6, -2}, s, Annotation::Point{7, -1}}},
        {Annotation::Text{{1, 1}, "t", s, std::nullopt, Annotation::TextAlignment::center, 2},
         Annotation::Text{{6, -2}, "t", s, std::nullopt, Annotation::TextAlignment::center, 2}},
        {Annotation::Freeform{{}, s, true}, Annotation::Freeform{{}, s, true}},
        {Annotation::Freeform{{{0, 0}, {1, 2}}, s, false}, Annotation::Freeform{{{5, -3}, {6, -1}}, s, false}},
        {Annotation::Line{{0, 0}, {1, 1}, s, true}, Annotation::Line{{5, -3}, {6, -2}, s, true}},
        {Annotation::Badge{{3, 3}, 4, 5, s}, Annotation::Badge{{8, 0}, 4, 5, s}},
    };
    for (const Case& c : cases) {
        const Annotation moved = Annotation(someId, 9, c.before).translated(5, -3);
        EXPECT_EQ(moved, Annotation(someId, 9, c.after)) << encodeText(moved).toStdString();
    }
}

TEST(Annotation, Equality) {
    const auto box = [](QUuid id, std::int64_t z, double rotation) {
        return Annotation(id, z, Annotation::Box{{0, 0, 1, 1}, red(), std::nullopt, rotation});
    };
    EXPECT_NE(box(someId, 1, 0), box(QUuid::createUuid(), 1, 0));
    EXPECT_NE(box(someId, 1, 0), box(someId, 2, 0));
    EXPECT_NE(box(someId, 1, 0), Annotation(someId, 1, Annotation::Ellipse{{0, 0, 1, 1}, red(), std::nullopt, 0}));
    EXPECT_NE(box(someId, 1, std::nan("")), box(someId, 1, std::nan("")));
    EXPECT_EQ(box(someId, 1, 0), box(someId, 1, -0.0));
}
