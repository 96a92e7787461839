#include "framlet/foundation/FLGradient.h"

#include "ImageTestSupport.h"
#include "support/LogCapture.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

constexpr int64_t kDegree = kFLGradientUnit;

std::vector<std::pair<int64_t, Kolor>> StopsOf(const FLGradient& gradient) {
  std::vector<std::pair<int64_t, Kolor>> stops;
  for (const FLColorStop& stop : gradient.stops()) stops.emplace_back(stop.position, stop.kolor);
  return stops;
}

QImage Draw(const FLGradient& gradient, bool shadowed = false, QPointF center = QPointF(),
            double radius = 0) {
  QImage canvas = Canvas(20, 20, Qt::red);
  QPainter painter(&canvas);
  QPainterPath path;
  path.addRect(0, 0, 20, 20);
  gradient.drawInBezier(painter, path, shadowed, center, radius);
  return canvas;
}

bool Dark(QColor c) { return c.red() < 40 && c.green() < 40 && c.blue() < 40; }
bool Light(QColor c) { return c.red() > 215 && c.green() > 215 && c.blue() > 215; }

TEST(GradientTest, NewGradientIsLinearBlackToWhiteAt180Degrees) {
  const FLGradient gradient;
  EXPECT_FALSE(gradient.isRadial());
  EXPECT_EQ(gradient.linearAngle(), 180 * kDegree);
  EXPECT_EQ(StopsOf(gradient), (std::vector<std::pair<int64_t, Kolor>>{{0, 0x64000000}, {12700, 0x64FFFFFF}}));
  EXPECT_EQ(gradient.hash(), 0xDD2FD1u);  // (2 | 2286000) ^ black ^ 0 ^ white ^ 12700
}

TEST(GradientTest, InsertedStopCopiesItsLeftNeighbourHalfway) {
  FLGradient gradient;
  gradient.insertStopAtIndex(1);
  EXPECT_EQ(StopsOf(gradient),
            (std::vector<std::pair<int64_t, Kolor>>{{0, 0x64000000}, {6350, 0x64000000}, {12700, 0x64FFFFFF}}));
  gradient.setKolor(0x640000FF, 1);
  gradient.insertStopAtIndex(2);  // between 6350 and 12700: integer halfway
  EXPECT_EQ(gradient.positionOfStopIndex(2), 9525);
  EXPECT_EQ(gradient.kolorAtStopIndex(2), 0x640000FFu);
}

TEST(GradientTest, FlipColorsKeepsPositions) {
  FLGradient gradient;
  gradient.insertStopAtIndex(1);
  gradient.setKolor(0x640000FF, 1);
  gradient.setKolor(0x6400FF00, 2);
  gradient.flipColors();
  EXPECT_EQ(StopsOf(gradient),
            (std::vector<std::pair<int64_t, Kolor>>{{0, 0x6400FF00}, {6350, 0x640000FF}, {12700, 0x64000000}}));
}

TEST(GradientTest, EndStopsStayAndBadIndexesAreRefused) {
  FLGradient gradient;
  gradient.insertStopAtIndex(1);
  const auto before = StopsOf(gradient);
  LogCapture log;
  gradient.setPosition(100, 0);
  gradient.setPosition(100, 2);
  gradient.removeStopAtIndex(0);
  gradient.removeStopAtIndex(2);
  gradient.insertStopAtIndex(0);
  gradient.insertStopAtIndex(3);
  gradient.setKolor(0x64123456, 3);
  EXPECT_EQ(StopsOf(gradient), before);
  EXPECT_EQ(gradient.kolorAtStopIndex(3), 0xFFFFFFFFu);
  EXPECT_EQ(gradient.positionOfStopIndex(7), 0);
  EXPECT_EQ(log.entries().filter(QStringLiteral("Bad color stop index")).size(), 9);

  gradient.setPosition(4000, 1);
  EXPECT_EQ(gradient.positionOfStopIndex(1), 4000);
  gradient.removeStopAtIndex(1);
  EXPECT_EQ(gradient.stopCount(), 2u);
  gradient.removeStopAtIndex(1);  // the last of two is an end stop
  EXPECT_EQ(gradient.stopCount(), 2u);
  gradient.setStops({{0, 0x64000000}});
  EXPECT_EQ(gradient.stopCount(), 2u);
}

TEST(GradientTest, EqualityAndCopyIgnoreTheOtherKindsField) {
  FLGradient a;
  FLGradient b;
  b.setRadialCenter({500, 500});  // not used while linear
  EXPECT_TRUE(a.isEqual(b));
  EXPECT_EQ(a.hash(), b.hash());
  b.setLinearAngle(90 * kDegree);
  EXPECT_FALSE(a.isEqual(b));

  FLGradient radial;
  radial.setRadial(true);
  radial.setRadialCenter({1270, -1270});
  radial.setKolor(0x640000FF, 0);
  FLGradient target;
  target.setLinearAngle(45 * kDegree);
  target.copyFrom(radial);
  EXPECT_TRUE(target.isEqual(radial));
  EXPECT_EQ(target.linearAngle(), 45 * kDegree);  // kept: the radial copy takes only the centre
  EXPECT_EQ(target.hash(), radial.hash());
  target.setKolor(0x64000000, 0);
  EXPECT_FALSE(target == radial);
}

TEST(GradientTest, LinearAngleIsTurnedByNinetyDegrees) {
  struct Case {
    int64_t angle;
    QPoint dark;
    QPoint light;
  };
  const Case cases[] = {
      {0, {10, 1}, {10, 18}},                 // draws at 90: black at the smaller y
      {360 * kDegree, {10, 1}, {10, 18}},     // 450 - 360 = 90
      {-270 * kDegree, {18, 10}, {1, 10}},    // -180 + 360 = 180: black at the larger x
      {180 * kDegree, {10, 18}, {10, 1}},     // 270
      {-90 * kDegree, {1, 10}, {18, 10}},     // 0
  };
  for (const Case& c : cases) {
    FLGradient gradient;
    gradient.setLinearAngle(c.angle);
    const QImage drawn = Draw(gradient);
    EXPECT_TRUE(Dark(drawn.pixelColor(c.dark))) << c.angle / kDegree;
    EXPECT_TRUE(Light(drawn.pixelColor(c.light))) << c.angle / kDegree;
  }
}

TEST(GradientTest, RadialWithRadiusStopsAtTheRadius) {
  FLGradient gradient;
  gradient.setRadial(true);
  const QImage drawn = Draw(gradient, false, QPointF(10, 10), 5);
  EXPECT_TRUE(Dark(drawn.pixelColor(10, 10)));
  EXPECT_EQ(drawn.pixelColor(10, 18), QColor(Qt::red));
  EXPECT_EQ(drawn.pixelColor(1, 1), QColor(Qt::red));
  const QColor between = drawn.pixelColor(10, 13);
  EXPECT_GT(between.green(), 60);
  EXPECT_LT(between.green(), 200);
}

TEST(GradientTest, RadialCentreIsRelativeToTheBoundsWithYTurnedOver) {
  struct Case {
    FLFixedPoint center;
    QPoint dark;
    QPoint light;
  };
  const Case cases[] = {
      {{0, 0}, {10, 10}, {0, 0}},
      {{12700, 0}, {19, 10}, {0, 10}},
      {{0, 12700}, {10, 0}, {10, 19}},  // +y of the stored centre is the smaller y here
  };
  for (const Case& c : cases) {
    FLGradient gradient;
    gradient.setRadial(true);
    gradient.setRadialCenter(c.center);
    const QImage drawn = Draw(gradient);
    EXPECT_TRUE(Dark(drawn.pixelColor(c.dark))) << c.center.x << "," << c.center.y;
    EXPECT_FALSE(Dark(drawn.pixelColor(c.light))) << c.center.x << "," << c.center.y;
    EXPECT_NE(drawn.pixelColor(c.light), QColor(Qt::red));  // the whole path is filled
  }
}

TEST(GradientTest, ShadowedPathIsMadeOpaqueFirst) {
  FLGradient gradient;
  gradient.setKolor(0x32000000, 0);
  gradient.setKolor(0x32000000, 1);
  const QColor plain = Draw(gradient).pixelColor(10, 10);
  EXPECT_GT(plain.red(), plain.green() + 60);  // the red canvas shows through
  const QColor shadowed = Draw(gradient, true).pixelColor(10, 10);
  EXPECT_NEAR(shadowed.red(), shadowed.green(), 2);
  EXPECT_NEAR(shadowed.green(), 128, 3);
}

}  // namespace
