// The indicator's paint procedure: one whole frame composed in actBuf, then one block copy.
#include "activity/ActivityInd.h"

#include "platform/Surface.h"

#include <QBrush>
#include <QColor>
#include <QLineF>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QPointF>
#include <QRectF>

#include <cmath>
#include <utility>

namespace tarvel {

namespace {

// The symbol's quantities are single precision; trigonometry runs in double.
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr quint32 kBlack = 0x00000000;
constexpr quint32 kWhite = 0x00FFFFFF;

// One full turn in Qt's angle unit (1/16 degree).
constexpr int kFullTurn16 = 360 * 16;

int toSixteenths(double radians) {
    constexpr double kDegreesPerRadian = 57.295779513082321;
    return static_cast<int>(std::lround(radians * kDegreesPerRadian * 16));
}

// The buffer as the symbols see it: a foreground colour for lines and outlines, a fill colour
// and style for circles and pies, and the centre-relative geometry. Angles run counter-clockwise
// from 3 o'clock with y pointing down.
class Canvas {
  public:
    Canvas(QPainter& painter, float cx, float cy) : painter_(painter), cx_(cx), cy_(cy) {}

    QPointF point(double d, double theta) const {
        return {cx_ + d * std::cos(theta), cy_ - d * std::sin(theta)};
    }
    // Triangle corners are whole pixels, halves rounded to even.
    static QPoint rounded(const QPointF& p) {
        return {static_cast<int>(std::nearbyint(p.x())), static_cast<int>(std::nearbyint(p.y()))};
    }

    void setForeColor(QRgb rgb) { fore_ = rgb; }
    void setFillColor(QRgb rgb) { fill_ = rgb; }
    void setFillSolid(bool solid) { fillSolid_ = solid; }

    void line(const QPointF& from, const QPointF& to) {
        painter_.setPen(pen(fore_));
        painter_.drawLine(QLineF(from, to));
    }

    void circle(double radius, const QPointF& centre, QRgb outline) {
        painter_.setPen(pen(outline));
        painter_.setBrush(fillBrush());
        painter_.drawEllipse(centre, radius, radius);
    }

    // Sector of the circle round the centre from angle `from` counter-clockwise to `to`.
    void pie(double radius, QRgb outline, double from, double to) {
        painter_.setPen(pen(outline));
        painter_.setBrush(fillBrush());
        const auto [start, span] = qtAngles(from, to);
        painter_.drawPie(square(radius), start, span);
    }

    void arc(double radius, QRgb colour, double from, double to) {
        painter_.setPen(pen(colour));
        painter_.setBrush(Qt::NoBrush);
        const auto [start, span] = qtAngles(from, to);
        painter_.drawArc(square(radius), start, span);
    }

    void fillTriangle(const QPoint (&points)[3], QRgb colour) {
        painter_.setPen(Qt::NoPen);
        painter_.setBrush(QBrush(QColor(colour)));
        painter_.drawPolygon(points, 3, Qt::OddEvenFill);
    }

    // Outline only: the interior keeps whatever the fill put there. Drawn as three edges because
    // Qt's stroker for a closed path sets a stray pixel beyond a sharp corner such as the tip.
    void outlineTriangle(const QPoint (&points)[3]) {
        painter_.setPen(pen(fore_));
        for (int i = 0; i < 3; ++i)
            painter_.drawLine(points[i], points[(i + 1) % 3]);
    }

  private:
    // One pixel wide at any transform, so the frame stays pixel-exact without antialiasing.
    static QPen pen(QRgb colour) {
        QPen p{QColor(colour)};
        p.setWidth(1);
        p.setCosmetic(true);
        return p;
    }

    QBrush fillBrush() const { return fillSolid_ ? QBrush(QColor(fill_)) : QBrush(Qt::NoBrush); }

    QRectF square(double radius) const {
        return {cx_ - radius, cy_ - radius, 2 * radius, 2 * radius};
    }

    // Start and counter-clockwise span; the span is taken between the rounded ends so that an
    // arc ends exactly where the next one starts.
    static std::pair<int, int> qtAngles(double from, double to) {
        const int start = toSixteenths(from);
        int span = (toSixteenths(to) - start) % kFullTurn16;
        if (span < 0)
            span += kFullTurn16;
        return {start, span};
    }

    QPainter& painter_;
    double cx_;
    double cy_;
    QRgb fore_ = 0;
    QRgb fill_ = 0;
    bool fillSolid_ = false;
};

// Two-coloured disc: the white half runs from a to a + pi, with the white bulge on the side of a.
void paintDisc(Canvas& canvas, float r, float a) {
    const QRgb black = rgbFromColorRef(kBlack);
    const QRgb white = rgbFromColorRef(kWhite);
    // Pie ends never sit at exactly 0; 0.005 stands in for it.
    const float s = a < 0.005f ? 0.005f : a;
    float b = a + kPi;
    if (b > kTwoPi)
        b -= kTwoPi;
    if (b < 0.005f)
        b = 0.005f;

    canvas.setFillSolid(true);
    canvas.setFillColor(white);
    canvas.pie(r, black, s, b);
    canvas.setFillColor(black);
    canvas.pie(r, black, b, s);

    const QPointF p = canvas.point(r / 2, a);
    const QPointF centre = canvas.point(0, 0);
    const QPointF q(centre.x() - (r / 2) * std::cos(a), centre.y() + (r / 2) * std::sin(a));
    canvas.setFillColor(white);
    canvas.circle(r / 2, p, white);
    canvas.setFillColor(black);
    canvas.circle(r / 2, q, black);
    canvas.setFillColor(black);
    canvas.circle(r / 10, p, black);
    canvas.setFillColor(white);
    canvas.circle(r / 10, q, white);

    canvas.setFillSolid(false);
    canvas.circle(r, centre, black);
}

// Clock hands: one fixed at 12 o'clock, the other at the phase angle once Step has moved.
void paintHands(Canvas& canvas, float r, float a, int step) {
    const QPointF centre = canvas.point(0, 0);
    canvas.line(centre, QPointF(centre.x(), centre.y() - r));
    if (step > 0)
        canvas.line(centre, canvas.point(r, a));
}

// Needle: tip on the rim at angle a, short base r/10 behind the centre.
void paintNeedle(Canvas& canvas, float r, float a, QRgb fill) {
    float ahead = a + kTwoPi / 3;
    if (ahead > kTwoPi)
        ahead -= kTwoPi;
    float behind = a - kTwoPi / 3;
    if (behind < 0)
        behind += kTwoPi;

    const float d = r / 10;
    const QPointF centre = canvas.point(0, 0);
    const QPoint needle[3] = {
        Canvas::rounded(canvas.point(r, a)),
        Canvas::rounded({centre.x() - d * std::sin(ahead), centre.y() - d * std::cos(ahead)}),
        Canvas::rounded({centre.x() + d * std::sin(behind), centre.y() + d * std::cos(behind)}),
    };
    canvas.fillTriangle(needle, fill);
    canvas.setForeColor(rgbFromColorRef(kBlack));
    canvas.outlineTriangle(needle);
}

// Circular arrow: a ring of 281.25 degrees from a, its head at a pointing clockwise and a
// notch cut into its tail.
void paintArrow(Canvas& canvas, float r, float a, QRgb fore, QRgb back) {
    const QRgb black = rgbFromColorRef(kBlack);
    const double outer = 0.89 * r;
    const double inner = 0.45 * r;

    const float s = a < 0.005f ? 0.005f : a;
    float e = static_cast<float>(a + 157.07964 / 32);
    if (e > kTwoPi)
        e -= kTwoPi;
    const float eRing = e < 0.005f ? 0.005f : e;

    canvas.setFillSolid(true);
    canvas.setFillColor(fore);
    canvas.pie(outer, fore, s, eRing);
    canvas.arc(outer, black, s, eRing);
    canvas.setFillColor(back);
    canvas.circle(inner, canvas.point(0, 0), back);
    canvas.arc(inner, black, s, eRing);

    // The head's base lies just inside the start of the ring; its edges skip the ring's width.
    float t = a - kTwoPi / 10;
    if (t < 0)
        t += kTwoPi;
    const double headBase = a + 0.04;
    const QPoint head[3] = {
        Canvas::rounded(canvas.point(r, headBase)),
        Canvas::rounded(canvas.point(0.33 * r, headBase)),
        Canvas::rounded(canvas.point(0.78 * r, t)),
    };
    canvas.fillTriangle(head, fore);
    canvas.setForeColor(black);
    canvas.line(head[1], canvas.point(inner, headBase));
    canvas.line(head[0], canvas.point(outer, headBase));
    canvas.line(head[1], head[2]);
    canvas.line(head[0], head[2]);

    // The notch's base lies just beyond the tail, so the V opens out of the ring's end.
    float u = e - kTwoPi / 18;
    if (u < 0)
        u += kTwoPi;
    const double notchBase = e + 0.04;
    const QPoint notch[3] = {
        Canvas::rounded(canvas.point(outer, notchBase)),
        Canvas::rounded(canvas.point(inner, notchBase)),
        Canvas::rounded(canvas.point(0.66 * r, u)),
    };
    canvas.setFillSolid(true);
    canvas.fillTriangle(notch, back);
    canvas.setForeColor(black);
    canvas.line(canvas.point(inner, e), notch[2]);
    canvas.line(canvas.point(outer, e), notch[2]);
}

}  // namespace

void ActivityInd::Paint() {
    if (actBuf_.isNull())
        return;

    const QRgb back = rgbFromColorRef(XlatColor(BackColor()));
    const QRgb fore = rgbFromColorRef(XlatColor(ForeColor()));
    {
        QPainter painter(&actBuf_);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.fillRect(actBuf_.rect(), QColor(back));

        const float width = static_cast<float>(bufferWidth_);
        const float height = static_cast<float>(bufferHeight_);
        const float cx = width / 2;
        const float cy = height / 2;

        // Half the shorter side less one pixel keeps the rim inside the buffer; one pixel more
        // comes off unless r ends in .5 and rounds up to an even number.
        float r = (width > height ? height : width) / 2 - 1;
        if (std::floor(r / 2) == static_cast<long>(std::nearbyint(r)) / 2)
            r -= 1;

        // Step 0 points to 12 o'clock; raising Step turns clockwise, one turn per 100.
        float a = kPi / 2 - (static_cast<float>(step_) * kTwoPi) / 100;
        if (a < 0)
            a += kTwoPi;

        // Lines and outlines are in ForeColor unless a symbol switches to black.
        Canvas canvas(painter, cx, cy);
        canvas.setForeColor(fore);
        if (r > 0) {
            switch (style_) {
                case 0:
                    paintDisc(canvas, r, a);
                    break;
                case 1:
                    paintHands(canvas, r, a, step_);
                    break;
                case 2:
                    paintNeedle(canvas, r, a, fore);
                    break;
                case 3:
                    paintArrow(canvas, r, a, fore, back);
                    break;
                default:
                    break;
            }
        }
    }
    surface_.present(actBuf_);
}

}  // namespace tarvel
