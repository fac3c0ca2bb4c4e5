#include "BrindlecastApp/Review/FiniteGeometry.h"

#include <algorithm>
#include <variant>

namespace BrindlecastApp::FiniteGeometry {

using SidecarKit::Annotation;

namespace {

bool finiteStyle(const Annotation::Style& style) { return isFinite(style.lineWidth) && isFinite(style.opacity); }
bool finiteFill(const std::optional<Annotation::Fill>& fill) { return !fill || isFinite(fill->opacity); }

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

} // namespace

bool isFinite(const Annotation::Kind& kind) {
    return std::visit(
        Overloaded{
            [](const Annotation::Arrow& a) {
                return isFinite(a.from) && isFinite(a.to) && (!a.control || isFinite(*a.control)) && finiteStyle(a.style);
            },
            [](const Annotation::Box& b) {
                return isFinite(b.rect) && finiteStyle(b.style) && finiteFill(b.fill) && isFinite(b.rotation);
            },
            [](const Annotation::Ellipse& e) {
                return isFinite(e.rect) && finiteStyle(e.style) && finiteFill(e.fill) && isFinite(e.rotation);
            },
            [](const Annotation::Text& t) { return isFinite(t.origin) && finiteStyle(t.style) && isFinite(t.rotation); },
            [](const Annotation::Blur& b) { return isFinite(b.rect) && isFinite(b.rotation); },
            [](const Annotation::Freeform& f) {
                return finiteStyle(f.style) &&
                       std::all_of(f.points.begin(), f.points.end(), [](const Support::Point& p) { return isFinite(p); });
            },
            [](const Annotation::Line& l) { return isFinite(l.from) && isFinite(l.to) && finiteStyle(l.style); },
            [](const Annotation::Badge& b) { return isFinite(b.center) && isFinite(b.radius) && finiteStyle(b.style); },
            [](const Annotation::Unknown&) { return true; },
        },
        kind);
}

} // namespace BrindlecastApp::FiniteGeometry
