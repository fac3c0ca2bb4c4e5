#pragma once

#include "../ReviewTestSupport.h"
#include "EditorTestSupport.h"

#include "BrindlecastApp/Editor/ColorPickers.h"
#include "BrindlecastApp/Editor/EditorCanvasStage.h"
#include "BrindlecastApp/Editor/StyleStrip.h"
#include "BrindlecastApp/Editor/ValuePickers.h"

#include <QComboBox>
#include <QSlider>

namespace StripTesting {

using namespace EditorTesting;
using Annotation = SidecarKit::Annotation;
using Style = Annotation::Style;

inline Style style(QString hex = "#FF3B30", double width = 6) { return Style(std::move(hex), width, 1, false, std::nullopt, false); }

inline Annotation::Kind arrow(Style s = style()) { return Annotation::Arrow{{10, 10}, {80, 60}, s, std::nullopt}; }
inline Annotation::Kind box(Style s = style(), std::optional<Annotation::Fill> fill = std::nullopt) {
    return Annotation::Box{{20, 20, 60, 40}, s, fill, 0};
}
inline Annotation::Kind ellipse(Style s = style()) { return Annotation::Ellipse{{20, 20, 60, 40}, s, std::nullopt, 0}; }
inline Annotation::Kind line(bool dashed = false, Style s = style()) { return Annotation::Line{{5, 5}, {90, 5}, s, dashed}; }
inline Annotation::Kind freeform(Style s = style()) { return Annotation::Freeform{{{1, 1}, {5, 9}, {12, 3}}, s, false}; }
inline Annotation::Kind text(std::optional<QString> family = std::nullopt, double size = 32, Style s = style()) {
    s.lineWidth = size;
    return Annotation::Text{{30, 30}, "Note", s, family, Annotation::TextAlignment::left, 0};
}
inline Annotation::Kind badge(std::int64_t number, Style s = style()) { return Annotation::Badge{{40, 40}, number, 14, s}; }
inline Annotation::Kind redaction(Annotation::RedactionStyle look = Annotation::RedactionStyle::scramble) {
    return Annotation::Blur{{10, 10, 60, 30}, look, 0};
}
inline Annotation::Kind unknown() { return Annotation::Unknown{"sticker", {}}; }

// The real editor window on a blank capture, as a user reaches it, with its style strip.
struct StripWindow {
    explicit StripWindow(int width = 800, int height = 600, double scale = 2, Theme* theme = nullptr) {
        ReviewTesting::ModelOptions options;
        options.width = width;
        options.height = height;
        options.screenScale = scale;
        model = std::shared_ptr<ReviewViewModel>(ReviewTesting::makeModel(options));
        show(theme);
    }
    explicit StripWindow(std::shared_ptr<ReviewViewModel> shown) : model(std::move(shown)) { show(nullptr); }
    void show(Theme* theme) {
        EditorContent content;
        content.viewModel = model.get();
        content.owner = model;
        content.filename = "Screenshot strip.png";
        controller = EditorWindowController::present(content, theme);
        settle();
    }
    ~StripWindow() {
        controller.reset();
        settle();
    }

    StyleStrip* strip() const { return qobject_cast<StyleStrip*>(controller->view()->stage()->styleStrip()); }

    // Puts these annotations on the capture; selects those at `selected` (indexes).
    std::vector<QUuid> annotate(const std::vector<Annotation::Kind>& kinds, const std::vector<int>& selected = {}) {
        std::vector<Annotation> list;
        std::vector<QUuid> ids;
        for (const Annotation::Kind& kind : kinds) {
            ids.push_back(QUuid::createUuid());
            list.emplace_back(ids.back(), std::int64_t(list.size()), kind);
        }
        model->setAnnotations(list);
        QSet<QUuid> chosen;
        for (int index : selected) chosen.insert(ids[index]);
        model->setSelectedAnnotationIDs(chosen);
        return ids;
    }
    const Annotation::Kind& kind(int index) const { return model->annotations().at(index).kind; }
    const Style& styleOf(int index) const {
        return std::visit(
            [](const auto& k) -> const Style& {
                if constexpr (requires { k.style; }) {
                    if constexpr (std::is_same_v<std::decay_t<decltype(k.style)>, Style>) return k.style;
                }
                static const Style none;
                return none;
            },
            kind(index));
    }

    std::shared_ptr<ReviewViewModel> model;
    std::unique_ptr<EditorWindowController> controller;
};

inline void click(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisibleTo(button->window())) << button->objectName().toStdString();
    QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace StripTesting
