#include <gtest/gtest.h>

#include <cmath>

#include "scene_test_util.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Scene holding one envelope; env() is channel 0 of its null.
struct EnvFixture {
  ScenePtr scene;
  explicit EnvFixture(const std::vector<KeyLine>& keys, int pre = 1, int post = 1)
      : scene(SceneFromText(EnvelopeScene(keys, pre, post))) {}
  Envelope* env() { return scene->ops.FindItemChannel(scene.get(), scene->items, 0); }
  double At(double t) {
    double v = -12345;
    EXPECT_EQ(scene->ops.EvaluateEnvelope(scene.get(), env(), t, &v), 0);
    return v;
  }
};

const std::vector<KeyLine> kLinear = {{0, 0, SHAPE_LINEAR, {}}, {10, 1, SHAPE_LINEAR, {}}};

struct BehaviorCase {
  const char* name;
  int pre, post;
  double t, expected;
};

TEST(EnvelopeEval, BehavioursOnALinearSpan) {
  const BehaviorCase cases[] = {
      {"inside", 1, 1, 0.5, 5},
      {"post repeat", 1, BEHAVIOR_REPEAT, 1.5, 5},
      {"post offset repeat", 1, BEHAVIOR_OFFSET_REPEAT, 1.5, 15},
      {"post offset repeat, two periods", 1, BEHAVIOR_OFFSET_REPEAT, 2.5, 25},
      {"post constant", 1, BEHAVIOR_CONSTANT, 3, 10},
      {"post reset", 1, BEHAVIOR_RESET, 3, 0},
      {"post oscillate, one period", 1, BEHAVIOR_OSCILLATE, 1.25, 7.5},
      {"post oscillate, two periods", 1, BEHAVIOR_OSCILLATE, 2.25, 2.5},
      {"post linear", 1, BEHAVIOR_LINEAR, 2, 20},
      {"post unknown extrapolates", 1, 9, 2, 20},
      {"pre repeat", BEHAVIOR_REPEAT, 1, -0.25, 7.5},
      {"pre offset repeat", BEHAVIOR_OFFSET_REPEAT, 1, -0.25, -2.5},
      {"pre oscillate", BEHAVIOR_OSCILLATE, 1, -0.25, 2.5},
      {"pre reset", BEHAVIOR_RESET, 1, -1, 0},
      {"pre linear", BEHAVIOR_LINEAR, 1, -1, -10},
      {"pre unknown extrapolates", -3, 1, -1, -10},
  };
  for (const BehaviorCase& c : cases) {
    EnvFixture f(kLinear, c.pre, c.post);
    EXPECT_NEAR(f.At(c.t), c.expected, 1e-12) << c.name;
  }
}

TEST(EnvelopeEval, TimesWithinToleranceOfTheEndsApplyNoBehaviour) {
  EnvFixture f({{5, 0, SHAPE_LINEAR, {}}, {10, 1, SHAPE_LINEAR, {}}}, BEHAVIOR_RESET, BEHAVIOR_RESET);
  EXPECT_NEAR(f.At(-1e-8), 5, 1e-6);
  EXPECT_NEAR(f.At(1 + 1e-8), 10, 1e-6);
  EXPECT_DOUBLE_EQ(f.At(-1e-3), 0);
  EXPECT_DOUBLE_EQ(f.At(1 + 1e-3), 0);
}

TEST(EnvelopeEval, OscillateMirrorsAboutTheKeysWhenTheyDoNotStartAtZero) {
  EnvFixture f({{0, 1, SHAPE_LINEAR, {}}, {10, 3, SHAPE_LINEAR, {}}}, 1, BEHAVIOR_OSCILLATE);
  EXPECT_NEAR(f.At(3.5), 7.5, 1e-12);  // the value at 2.5
  EnvFixture g({{0, 1, SHAPE_LINEAR, {}}, {10, 3, SHAPE_LINEAR, {}}}, BEHAVIOR_OSCILLATE, 1);
  EXPECT_NEAR(g.At(0.5), 2.5, 1e-12);  // the value at 1.5
}

TEST(EnvelopeEval, LinearBehaviourOfCurvedKeysUsesTheStoredTangents) {
  // TCB keys without neighbours store (a + b) d / 2 = 10.
  EnvFixture f({{0, 0, SHAPE_TCB, {}}, {10, 1, SHAPE_TCB, {}}}, BEHAVIOR_LINEAR, BEHAVIOR_LINEAR);
  EXPECT_NEAR(f.At(-1), -10, 1e-12);
  EXPECT_NEAR(f.At(2), 20, 1e-12);
}

TEST(EnvelopeEval, SteppedSpanHoldsUntilItsEnd) {
  EnvFixture f({{0, 0, SHAPE_TCB, {}}, {10, 1, SHAPE_STEPPED, {}}, {20, 2, SHAPE_STEPPED, {}}});
  EXPECT_EQ(f.At(0.5), 0);
  EXPECT_EQ(f.At(0.999), 0);
  EXPECT_EQ(f.At(1), 10);
  EXPECT_EQ(f.At(1.999), 10);
  EXPECT_EQ(f.At(2), 20);
}

double CatmullRom(double p0, double p1, double p2, double p3, double u) {
  return 0.5 * (2 * p1 + (-p0 + p2) * u + (2 * p0 - 5 * p1 + 4 * p2 - p3) * u * u +
                (-p0 + 3 * p1 - 3 * p2 + p3) * u * u * u);
}

TEST(EnvelopeEval, PlainTcbOnEvenKeysIsCatmullRom) {
  EnvFixture f({{0, 0, SHAPE_TCB, {}}, {10, 1, SHAPE_TCB, {}}, {4, 2, SHAPE_TCB, {}}, {7, 3, SHAPE_TCB, {}}});
  for (double u : {0.0, 0.1, 0.37, 0.5, 0.81, 1.0}) EXPECT_NEAR(f.At(1 + u), CatmullRom(0, 10, 4, 7, u), 1e-12) << u;
  // Going back in time after the cursor moved on gives the same values.
  EnvFixture fresh({{0, 0, SHAPE_TCB, {}}, {10, 1, SHAPE_TCB, {}}, {4, 2, SHAPE_TCB, {}}, {7, 3, SHAPE_TCB, {}}});
  EXPECT_EQ(f.At(0.5), fresh.At(0.5));
}

TEST(EnvelopeEval, HermiteAndBezierUseTheFileTangents) {
  for (int shape : {SHAPE_HERMITE, SHAPE_BEZIER}) {
    // Outgoing 3 on the first key, incoming 6 on the second.
    EnvFixture f({{0, 0, shape, {0, 0, 0, 0, 3, 0}}, {10, 1, shape, {0, 0, 0, 6, 0, 0}}});
    EXPECT_NEAR(f.At(0.5), 5 + 0.125 * 3 - 0.125 * 6, 1e-12) << shape;
    EXPECT_NEAR(f.At(0.25), 10 * 0.15625 + 3 * 0.140625 - 6 * 0.046875, 1e-12) << shape;
  }
}

TEST(EnvelopeEval, StraightTwoDimensionalBezierIsAOneDimensionalCubic) {
  // Handles a third of the span long in time: time is linear in the curve parameter.
  EnvFixture f({{0, 0, SHAPE_BEZIER2, {0, 0, 1.0 / 3, 2, 0, 0}}, {10, 1, SHAPE_BEZIER2, {-1.0 / 3, -1, 0, 0, 0, 0}}});
  for (double u : {0.1, 0.3, 0.5, 0.77}) {
    double w = 1 - u;
    double cubic = 3 * w * w * u * 2 + 3 * w * u * u * 9 + u * u * u * 10;
    EXPECT_NEAR(f.At(u), cubic, 5e-3) << u;
  }
}

TEST(EnvelopeEval, HostileKeysGiveFiniteValuesQuickly) {
  // Crossing handles make time non-monotonic in the curve parameter.
  EnvFixture crossing({{0, 0, SHAPE_BEZIER2, {0, 0, 5, 1, 0, 0}}, {10, 1, SHAPE_BEZIER2, {-5, 1, 0, 0, 0, 0}}});
  EXPECT_TRUE(std::isfinite(crossing.At(0.4)));
  // Equal key times.
  EnvFixture equal({{0, 0, SHAPE_TCB, {}}, {5, 0, SHAPE_TCB, {}}, {10, 1, SHAPE_HERMITE, {}}, {3, 1, SHAPE_TCB, {}}});
  for (double t : {-1.0, 0.0, 0.5, 1.0, 2.0}) EXPECT_TRUE(std::isfinite(equal.At(t))) << t;
  // A tiny period far away.
  EnvFixture tiny({{0, 0, SHAPE_LINEAR, {}}, {10, 0.001, SHAPE_LINEAR, {}}}, BEHAVIOR_OSCILLATE, BEHAVIOR_OFFSET_REPEAT);
  double v = tiny.At(-1e12);
  EXPECT_GE(v, 0);
  EXPECT_LE(v, 10);
  EXPECT_TRUE(std::isfinite(tiny.At(1e12)));
  // A zero period repeats as a constant.
  EnvFixture zero({{1, 2, SHAPE_LINEAR, {}}, {7, 2, SHAPE_LINEAR, {}}}, BEHAVIOR_REPEAT, BEHAVIOR_REPEAT);
  EXPECT_EQ(zero.At(0), 1);
  EXPECT_EQ(zero.At(5), 7);
  // An unknown shape contributes nothing.
  EnvFixture odd({{1, 0, SHAPE_LINEAR, {}}, {7, 1, 17, {}}});
  EXPECT_EQ(odd.At(0.5), 0);
}

TEST(EnvelopeEval, EmptyAndSingleKeyEnvelopes) {
  ScenePtr s = SceneFromText("LWSC\n3\n");
  Envelope empty;
  double v = -1;
  EXPECT_EQ(s->ops.EvaluateEnvelope(s.get(), &empty, 3, &v), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(s->ops.EvaluateEnvelope(s.get(), nullptr, 3, &v), ERR_PARAM);
  EnvFixture one({{4, 2, SHAPE_TCB, {}}}, BEHAVIOR_RESET, BEHAVIOR_RESET);
  EXPECT_EQ(one.At(-5), 4);
  EXPECT_EQ(one.At(50), 4);
}

// ------------------------------------------------------------- key insertion

struct InsertCase {
  const char* name;
  std::vector<KeyLine> keys;
  double tolerance;
};

TEST(InsertEnvelopeKey, KeepsTheCurveWhereTheShapesCarryTheirTangents) {
  const InsertCase cases[] = {
      {"hermite, uneven times",
       {{0, 0, SHAPE_HERMITE, {0, 0, 0, 1, 4, 0}},
        {10, 0.7, SHAPE_HERMITE, {0, 0, 0, -2, 5, 0}},
        {3, 2.0, SHAPE_HERMITE, {0, 0, 0, 1, -3, 0}},
        {8, 2.5, SHAPE_HERMITE, {0, 0, 0, 2, 0, 0}}},
       1e-9},
      {"bezier",
       {{0, 0, SHAPE_BEZIER, {0, 0, 0, 0, 2, 0}}, {5, 1, SHAPE_BEZIER, {0, 0, 0, 7, -1, 0}},
        {-2, 3, SHAPE_BEZIER, {0, 0, 0, 3, 0, 0}}},
       1e-9},
      {"linear", {{0, 0, SHAPE_LINEAR, {}}, {10, 1, SHAPE_LINEAR, {}}, {4, 3, SHAPE_LINEAR, {}}}, 1e-12},
      {"stepped", {{0, 0, SHAPE_STEPPED, {}}, {10, 1, SHAPE_STEPPED, {}}, {4, 3, SHAPE_STEPPED, {}}}, 1e-12},
      {"two-dimensional bezier",
       {{0, 0, SHAPE_BEZIER2, {0, 0, 0.2, 3, 0, 0}},
        {10, 1, SHAPE_BEZIER2, {-0.4, 1, 0.3, -1, 0, 0}},
        {4, 2, SHAPE_BEZIER2, {-0.25, 2, 0, 0, 0, 0}}},
       1e-2},
  };
  for (const InsertCase& c : cases) {
    EnvFixture f(c.keys);
    const double t0 = c.keys.front().time, t1 = c.keys.back().time;
    std::vector<double> samples, before;
    for (int i = 0; i <= 60; ++i) samples.push_back(t0 - 0.3 + (t1 - t0 + 0.6) * i / 60.0 + 1e-4);
    for (double t : samples) before.push_back(f.At(t));
    for (double t : {0.35, 0.1, 0.5, 1.6, 0.2, 0.21, 2.2}) {
      if (t >= t1) continue;
      Key* k = f.scene->ops.InsertEnvelopeKey(f.scene.get(), f.env(), t);
      ASSERT_NE(k, nullptr);
      EXPECT_DOUBLE_EQ(k->time, t);
      for (size_t i = 0; i < samples.size(); ++i)
        ASSERT_NEAR(f.At(samples[i]), before[i], c.tolerance) << c.name << ": after a key at " << t << ", at "
                                                               << samples[i];
    }
  }
}

TEST(InsertEnvelopeKey, KeepsLinksThroughManyInsertions) {
  EnvFixture f(kLinear);
  Envelope* env = f.env();
  Key* existing = env->lastKey;
  EXPECT_EQ(f.scene->ops.InsertEnvelopeKey(f.scene.get(), env, 1 + 5e-8), existing);
  for (int i = 1; i < 200; ++i) f.scene->ops.InsertEnvelopeKey(f.scene.get(), env, i / 200.0);
  f.scene->ops.InsertEnvelopeKey(f.scene.get(), env, -1);
  f.scene->ops.InsertEnvelopeKey(f.scene.get(), env, 4);
  int forward = 0;
  double last = -1e9;
  for (Key* k = env->firstKey; k; k = k->next, ++forward) {
    EXPECT_GT(k->time, last);
    last = k->time;
    if (k->next) {
      EXPECT_EQ(k->next->prev, k);
    }
  }
  EXPECT_EQ(forward, env->keyCount);
  EXPECT_EQ(env->keyCount, 203);
  EXPECT_EQ(env->firstKey->time, -1);
  EXPECT_EQ(env->lastKey->time, 4);
  EXPECT_NEAR(f.At(0.5), 5, 1e-12);
  EXPECT_EQ(env->firstKey->value, 0);  // a new end key repeats the end value
  EXPECT_EQ(env->lastKey->value, 10);
}

TEST(InsertEnvelopeKey, IntoAnEmptyEnvelopeMakesALoneKey) {
  ScenePtr s = SceneFromText("LWSC\n3\n");
  Envelope env;
  Key* k = s->ops.InsertEnvelopeKey(s.get(), &env, 2.5);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(env.keyCount, 1);
  EXPECT_EQ(env.firstKey, k);
  EXPECT_EQ(env.lastKey, k);
  EXPECT_EQ(k->shape, SHAPE_TCB);
  EXPECT_EQ(s->ops.InsertEnvelopeKey(s.get(), nullptr, 1), nullptr);
}

// ------------------------------------------------------------- items and motions

const char* kVersion1Motion =
    "LWSC\n1\n\nFramesPerSecond 10\nAddNullObject N\nObjectMotion (unnamed)\n  9\n  3\n"
    "  0 0 0 0 0 0 1 1 1\n  -10 0 0 0 0\n"
    "  0 0 0 0 0 0 1 1 1\n  0 0 0 0 0\n"
    "  10 20 30 90 0 0 3 3 3\n  10 0 0 0 0\n"
    "EndBehavior 2\n"
    "AddNullObject Linear\nObjectMotion (unnamed)\n  9\n  2\n"
    "  0 0 0 0 0 0 1 1 1\n  0 0 0 0 0\n"
    "  10 0 0 90 0 0 2 2 2\n  20 1 0 0 0\n";

TEST(MotionEval, VersionOneKeys) {
  ScenePtr s = SceneFromText(kVersion1Motion, SCENE_MOTION_CHANNELS);
  ASSERT_EQ(s->error, 0);
  auto items = Items(s.get());
  ASSERT_EQ(items.size(), 2u);
  auto& o = s->ops;
  Motion* m = o.GetItemMotion(s.get(), items[0]);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->keyCount, 3);
  EXPECT_EQ(m->endBehavior, 2);
  double out[3];
  // Span 0 -> 10 starts at frame 0, so its outgoing tangent ignores the key
  // before it: (1 + 1) * 10 / 2 = 10; the last key's incoming is 10 too.
  ASSERT_EQ(o.EvaluateMotion(s.get(), m, VECTOR_POSITION, 5, out), 0);
  EXPECT_NEAR(out[0], 5, 1e-12);
  EXPECT_NEAR(out[1], 10, 1e-12);
  ASSERT_EQ(o.EvaluateMotion(s.get(), m, VECTOR_ROTATION, 10, out), 0);
  EXPECT_NEAR(out[0], kPi / 2, 1e-12);
  ASSERT_EQ(o.EvaluateMotion(s.get(), m, VECTOR_SCALE, 99, out), 0);
  EXPECT_EQ(out[2], 3);
  EXPECT_EQ(o.EvaluateMotion(s.get(), m, 2, 5, out), ERR_PARAM);

  // Linear span, evaluated through the item at seconds x frames per second.
  ASSERT_EQ(o.EvaluateItemVector(s.get(), items[1], VECTOR_POSITION, 1.0, out), 0);
  EXPECT_NEAR(out[0], 5, 1e-12);
  ASSERT_EQ(o.EvaluateItemVector(s.get(), items[1], VECTOR_SCALE, -0.5, out), 0);
  EXPECT_NEAR(out[0], 0.75, 1e-12);  // before the first key: the first span, extrapolated
  // The nine channels made from the motion agree on a linear span.
  Envelope* x = o.FindItemChannel(s.get(), items[1], 0);
  Envelope* sz = o.FindItemChannel(s.get(), items[1], 8);
  ASSERT_TRUE(x && sz);
  double v;
  o.EvaluateEnvelope(s.get(), x, 1.5, &v);
  EXPECT_NEAR(v, 7.5, 1e-12);
  o.EvaluateEnvelope(s.get(), sz, 1.5, &v);
  EXPECT_NEAR(v, 1.75, 1e-12);
}

TEST(MotionEval, OneKeyZeroKeysAndNoMotion) {
  ScenePtr s = SceneFromText(
      "LWSC\n1\nAddNullObject One\nObjectMotion\n 9\n 1\n 1 2 3 0 0 0 1 1 1\n 7 0 0 0 0\n"
      "AddNullObject None\nObjectMotion\n 9\n 0\nAddNullObject Bare\n");
  ASSERT_EQ(s->error, 0);
  auto items = Items(s.get());
  ASSERT_EQ(items.size(), 3u);
  double out[3] = {-1, -1, -1};
  for (double frame : {-100.0, 7.0, 1e9}) {
    ASSERT_EQ(s->ops.EvaluateMotion(s.get(), items[0]->motion, VECTOR_POSITION, frame, out), 0);
    EXPECT_EQ(out[1], 2);
  }
  out[0] = -1;
  EXPECT_EQ(s->ops.EvaluateItemVector(s.get(), items[1], VECTOR_POSITION, 0, out), ERR_PARAM);
  EXPECT_EQ(s->ops.EvaluateItemVector(s.get(), items[2], VECTOR_POSITION, 0, out), ERR_PARAM);
  EXPECT_EQ(out[0], -1);
  ASSERT_EQ(s->ops.EvaluateItemVector(s.get(), items[2], VECTOR_PIVOT_POSITION, 0, out), 0);
  EXPECT_EQ(out[0], 0);
}

TEST(ItemVectors, SetKeysThroughTheChannels) {
  ScenePtr s = SceneFromText(EnvelopeScene(kLinear));
  auto& o = s->ops;
  SceneItem* item = s->items;
  // Only channel 0 exists: position needs three.
  EXPECT_EQ(o.SetItemVectorKey(s.get(), item, VECTOR_POSITION, 0.5, 1, 2, 3), ERR_PARAM);
  EXPECT_EQ(o.SetItemVectorKey(s.get(), item, VECTOR_PIVOT_ROTATION, 0, 1, 2, 3), 0);
  double out[3];
  ASSERT_EQ(o.EvaluateItemVector(s.get(), item, VECTOR_POSITION, 0.5, out), 0);
  EXPECT_NEAR(out[0], 5, 1e-12);
  EXPECT_EQ(out[1], 0);  // missing channels read 0
  ASSERT_EQ(o.EvaluateItemVector(s.get(), item, VECTOR_PIVOT_ROTATION, 0.5, out), 0);
  EXPECT_EQ(out[2], 3);

  ScenePtr full = SceneFromText("LWSC\n3\nAddNullObject N\nObjectMotion\nNumChannels 3\n"
                                "Channel 0\n{ Envelope\n 0\n}\nChannel 1\n{ Envelope\n 0\n}\nChannel 2\n{ Envelope\n 0\n}\n");
  ASSERT_EQ(full->error, 0);
  ASSERT_EQ(full->ops.SetItemVectorKey(full.get(), full->items, VECTOR_POSITION, 1, 4, 5, 6), 0);
  ASSERT_EQ(full->ops.SetItemVectorKey(full.get(), full->items, VECTOR_POSITION, 1, 7, 8, 9), 0);
  ASSERT_EQ(full->ops.EvaluateItemVector(full.get(), full->items, VECTOR_POSITION, 3, out), 0);
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out[2], 9);
  EXPECT_EQ(full->ops.FindItemChannel(full.get(), full->items, 1)->keyCount, 1);
}

// ------------------------------------------------------------- bones

const BoneData& Bone(const ScenePtr& s, const char* name) {
  SceneItem* object = s->ops.FindFirstItem(s.get(), ITEM_OBJECT, nullptr);
  SceneItem* b = s->ops.FindItemByName(s.get(), ITEM_BONE, object, name);
  EXPECT_NE(b, nullptr) << name;
  return *s->ops.GetBoneData(s.get(), b);
}

void ExpectPoint(const double* p, double x, double y, double z) {
  EXPECT_NEAR(p[0], x, 1e-9);
  EXPECT_NEAR(p[1], y, 1e-9);
  EXPECT_NEAR(p[2], z, 1e-9);
}

TEST(BoneRest, TwoBoneChain) {
  ScenePtr s = SceneFromText(
      "LWSC\n3\nAddNullObject Rig\n"
      "AddBone\nBoneName A\nBoneRestPosition 1 2 3\nBoneRestDirection 90 0 0\nBoneRestLength 2\n"
      "AddBone\nBoneName B\nParentItem 40000000\nBoneRestPosition 0 0 2\nBoneRestLength 1\n"
      "AddBone\nBoneName C\nPivotPosition 1 0 0\nBoneRestPosition 0 0 0\nPivotRotation 0 90 0\n");
  ASSERT_EQ(s->error, 0);
  // Heading 90 turns +z into +x.
  ExpectPoint(Bone(s, "A").basePoint, 1, 2, 3);
  ExpectPoint(Bone(s, "A").tipPoint, 3, 2, 3);
  ExpectPoint(Bone(s, "B").basePoint, 3, 2, 3);
  ExpectPoint(Bone(s, "B").tipPoint, 4, 2, 3);
  // The pivot moves first; pitch 90 then turns +z into -y.
  ExpectPoint(Bone(s, "C").basePoint, -1, 0, 0);
  ExpectPoint(Bone(s, "C").tipPoint, -1, -1, 0);
  EXPECT_EQ(Bone(s, "B").ownerId, s->items->id);
}

TEST(BoneRest, ParentCyclesEndAtTheFirstRevisitedBone) {
  ScenePtr s = SceneFromText(
      "LWSC\n3\nAddNullObject Rig\n"
      "AddBone\nBoneName A\nParentItem 40010000\nBoneRestPosition 1 0 0\n"
      "AddBone\nBoneName B\nParentItem 40000000\nBoneRestPosition 0 1 0\n"
      "AddBone\nBoneName C\nParentItem 40000000\nBoneRestPosition 0 0 1\n"
      "AddBone\nBoneName D\nParentItem 40030000\nBoneRestPosition 0 0 5\n");
  ASSERT_EQ(s->error, 0);
  ExpectPoint(Bone(s, "A").basePoint, 1, 1, 0);
  ExpectPoint(Bone(s, "B").basePoint, 1, 1, 0);
  ExpectPoint(Bone(s, "C").basePoint, 1, 1, 1);  // C, A, B, then A again
  ExpectPoint(Bone(s, "D").basePoint, 0, 0, 5);  // its own parent
}

}  // namespace
