// Evaluation of animation: channel envelopes (six span shapes, six
// behaviours), version-1 motions, their conversion into envelopes, stored
// tangents, key insertion, item vectors and bone rest points.
#include <cmath>
#include <vector>

#include "scene_internal.h"

namespace {

constexpr double kEpsilon = 1.1920929e-7;  // time tolerance, 2^-23
constexpr int kBisectionSteps = 64;

bool Before(double t, double a) { return a - t > kEpsilon; }
bool After(double t, double a) { return t - a > kEpsilon; }

// num / den, or 1 when the span is empty (equal key times).
double Ratio(double num, double den) { return den != 0 ? num / den : 1.0; }

double Fps(SceneDb* db) { return db->framesPerSecond > 0 ? db->framesPerSecond : 30.0; }

void Hermite(double u, double* h1, double* h2, double* h3, double* h4) {
  double u2 = u * u, u3 = u2 * u;
  *h1 = 2 * u3 - 3 * u2 + 1;
  *h2 = 3 * u2 - 2 * u3;
  *h3 = u3 - 2 * u2 + u;
  *h4 = u3 - u2;
}

// Cubic Bezier of a, b, c, d at s, in power form.
double Cubic(double a, double b, double c2, double d, double s) {
  double c = 3 * (b - a);
  double e = 3 * (c2 - b) - c;
  double f = d - a - c - e;
  return a + s * (c + s * (e + s * f));
}

// Tangent leaving key0 toward its next key, by key0's shape.
double Outgoing(const Key* k0, const Key* k1) {
  const Key* prev = k0->prev;
  switch (k0->shape) {
    case SHAPE_TCB: {
      double a = (1 - k0->tension) * (1 + k0->continuity) * (1 + k0->bias);
      double b = (1 - k0->tension) * (1 - k0->continuity) * (1 - k0->bias);
      double d = k1->value - k0->value;
      if (prev) return Ratio(k1->time - k0->time, k1->time - prev->time) * (a * (k0->value - prev->value) + b * d);
      return b * d;
    }
    case SHAPE_HERMITE:
    case SHAPE_BEZIER:
      return prev ? k0->param1 * Ratio(k1->time - k0->time, k1->time - prev->time) : k0->param1;
    case SHAPE_LINEAR: {
      double d = k1->value - k0->value;
      if (prev) return Ratio(k1->time - k0->time, k1->time - prev->time) * (d + (k0->value - prev->value));
      return d;
    }
    case SHAPE_BEZIER2:
      if (std::fabs(k0->bias) > 0.00001) return (k1->time - k0->time) * k0->param0 / k0->bias;
      return (k1->time - k0->time) * k0->param0 * 100000;
    default:
      return 0;
  }
}

// Tangent arriving at key1 from key0, by key1's shape.
double Incoming(const Key* k0, const Key* k1) {
  const Key* next = k1->next;
  switch (k1->shape) {
    case SHAPE_TCB: {
      double a = (1 - k1->tension) * (1 - k1->continuity) * (1 + k1->bias);
      double b = (1 - k1->tension) * (1 + k1->continuity) * (1 - k1->bias);
      double d = k1->value - k0->value;
      if (next) return Ratio(k1->time - k0->time, next->time - k0->time) * (b * (next->value - k1->value) + a * d);
      return a * d;
    }
    case SHAPE_HERMITE:
    case SHAPE_BEZIER:
      return next ? k1->param0 * Ratio(k1->time - k0->time, next->time - k0->time) : k1->param0;
    default:
      return 0;
  }
}

// Control points of a two-dimensional Bezier span (x: time, y: value).
struct Bezier2Span {
  double x[4], y[4];
};

Bezier2Span Bezier2Points(const Key* k0, const Key* k1) {
  Bezier2Span b;
  b.x[0] = k0->time;
  b.x[3] = k1->time;
  b.x[1] = k0->shape == SHAPE_BEZIER2 ? k0->time + k0->bias : k0->time + (k1->time - k0->time) / 3;
  b.x[2] = k1->time + k1->tension;
  b.y[0] = k0->value;
  b.y[1] = k0->shape == SHAPE_BEZIER2 ? k0->value + k0->param0 : k0->value + Outgoing(k0, k1) / 3;
  b.y[2] = k1->value + k1->continuity;
  b.y[3] = k1->value;
  return b;
}

// Curve parameter whose time is t, by bisection (bounded: the handles may
// make time non-monotonic, or t lie outside the span).
double Bezier2Parameter(const Bezier2Span& b, double t) {
  double lo = 0, hi = 1, s = 0.5;
  for (int i = 0; i < kBisectionSteps; ++i) {
    s = (lo + hi) / 2;
    double x = Cubic(b.x[0], b.x[1], b.x[2], b.x[3], s);
    if (std::fabs(t - x) <= 0.0001) break;
    if (t < x)
      hi = s;
    else
      lo = s;
  }
  return s;
}

double Bezier2(const Key* k0, const Key* k1, double t) {
  Bezier2Span b = Bezier2Points(k0, k1);
  return Cubic(b.y[0], b.y[1], b.y[2], b.y[3], Bezier2Parameter(b, t));
}

// Value inside the span k0 -> k1 (u may lie outside [0, 1] when the span is
// extrapolated).
double SpanValue(const Key* k0, const Key* k1, double t) {
  double span = k1->time - k0->time;
  if (span == 0) return k1->value;
  double u = (t - k0->time) / span;
  switch (k1->shape) {
    case SHAPE_TCB:
    case SHAPE_HERMITE:
    case SHAPE_BEZIER: {
      double h1, h2, h3, h4;
      Hermite(u, &h1, &h2, &h3, &h4);
      return h1 * k0->value + h2 * k1->value + h3 * Outgoing(k0, k1) + h4 * Incoming(k0, k1);
    }
    case SHAPE_LINEAR:
      return k0->value + (k1->value - k0->value) * u;
    case SHAPE_STEPPED:
      return Before(t, k1->time) ? k0->value : k1->value;
    case SHAPE_BEZIER2:
      return Bezier2(k0, k1, t);
    default:
      return 0;
  }
}

// Reduces t into [first, last] by whole periods L for the repeating
// behaviours; returns the number of periods moved (as a double: it may be
// huge). `pre` tells which end t lies beyond.
double Wrap(double* t, double first, double last, bool pre) {
  double L = last - first;
  double d = pre ? first - *t : *t - last;
  double r = std::fmod(d, L);
  double n = std::round((d - r) / L);
  if (r <= kEpsilon) {
    *t = pre ? first - r : last + r;
  } else {
    *t = pre ? first + L - r : first + r;
    n += 1;
  }
  return n;
}

bool Odd(double n) { return std::fmod(n, 2.0) == 1.0; }

double EvaluateKeys(Envelope* env, double t) {
  Key* first = env->firstKey;
  if (!first) return 0;
  if (!first->next) return first->value;
  Key* last = env->lastKey;
  if (!last)
    for (last = first; last->next;) last = last->next;
  const double L = last->time - first->time;
  double offset = 0;

  if (Before(t, first->time)) {
    switch (env->preBehavior) {
      case BEHAVIOR_RESET:
        return 0;
      case BEHAVIOR_CONSTANT:
        return first->value;
      case BEHAVIOR_REPEAT:
      case BEHAVIOR_OSCILLATE:
      case BEHAVIOR_OFFSET_REPEAT: {
        if (!(L > kEpsilon)) return first->value;
        double n = Wrap(&t, first->time, last->time, true);
        if (env->preBehavior == BEHAVIOR_OSCILLATE && Odd(n)) t = first->time + last->time - t;
        if (env->preBehavior == BEHAVIOR_OFFSET_REPEAT) offset = -n * (last->value - first->value);
        break;
      }
      case BEHAVIOR_LINEAR: {
        if (first->shape == SHAPE_LINEAR) {
          const Key* k2 = first->next;
          if (first->time == k2->time) return first->value;
          return k2->value + (first->value - k2->value) / (first->time - k2->time) * (t - k2->time);
        }
        return first->value + (t - first->time) * first->param1;
      }
      default:
        break;  // extrapolates the first span
    }
  } else if (After(t, last->time)) {
    switch (env->postBehavior) {
      case BEHAVIOR_RESET:
        return 0;
      case BEHAVIOR_CONSTANT:
        return last->value;
      case BEHAVIOR_REPEAT:
      case BEHAVIOR_OSCILLATE:
      case BEHAVIOR_OFFSET_REPEAT: {
        if (!(L > kEpsilon)) return last->value;
        double n = Wrap(&t, first->time, last->time, false);
        if (env->postBehavior == BEHAVIOR_OSCILLATE && Odd(n)) t = first->time + last->time - t;
        if (env->postBehavior == BEHAVIOR_OFFSET_REPEAT) offset = n * (last->value - first->value);
        break;
      }
      case BEHAVIOR_LINEAR: {
        if (last->shape == SHAPE_LINEAR) {
          const Key* p = last->prev;
          if (p->time == last->time) return last->value;
          return p->value + (last->value - p->value) / (last->time - p->time) * (t - p->time);
        }
        return last->value + (t - last->time) * last->param0;
      }
      default:
        break;  // extrapolates the last span
    }
  }

  // The span never steps past the last one.
  Key* k0 = env->cursor && env->cursor->next && !Before(t, env->cursor->time) ? env->cursor : first;
  while (k0->next->next && After(t, k0->next->time)) k0 = k0->next;
  env->cursor = k0;
  return SpanValue(k0, k0->next, t) + offset;
}

int EvaluateEnvelope(SceneDb*, Envelope* env, double t, double* out) {
  if (!env || !out) return ERR_PARAM;
  *out = EvaluateKeys(env, t);
  return 0;
}

// ------------------------------------------------------------- motions

const double* Triple(const KeyFrame* k, int kind) {
  return kind == VECTOR_POSITION ? k->position : kind == VECTOR_ROTATION ? k->rotation : k->scale;
}

int EvaluateMotion(SceneDb*, Motion* motion, int kind, double frame, double out[3]) {
  if (!motion || !motion->keys || !out) return ERR_PARAM;
  if (kind != VECTOR_POSITION && kind != VECTOR_ROTATION && kind != VECTOR_SCALE) return ERR_PARAM;
  KeyFrame* first = motion->keys;
  KeyFrame* last = motion->lastKey ? motion->lastKey : first;
  auto copy = [&](const KeyFrame* k) {
    const double* v = Triple(k, kind);
    for (int i = 0; i < 3; ++i) out[i] = v[i];
    return 0;
  };
  if (!first->next) return copy(first);
  if (frame >= last->frame) return copy(last);

  KeyFrame* k0 = motion->cursor && motion->cursor->next && frame >= motion->cursor->frame ? motion->cursor : first;
  while (k0->next->next && frame > k0->next->frame) k0 = k0->next;
  motion->cursor = k0;
  KeyFrame* k1 = k0->next;
  const double f0 = k0->frame, f1 = k1->frame;
  const double span = f1 - f0;
  if (span == 0) return copy(k1);
  const double u = (frame - f0) / span;
  const double* v0 = Triple(k0, kind);
  const double* v1 = Triple(k1, kind);
  if (k1->linear) {
    for (int i = 0; i < 3; ++i) out[i] = v0[i] + u * (v1[i] - v0[i]);
    return 0;
  }
  double h1, h2, h3, h4;
  Hermite(u, &h1, &h2, &h3, &h4);
  const double dd0a = (1 - k0->tension) * (1 + k0->continuity) * (1 + k0->bias);
  const double dd0b = (1 - k0->tension) * (1 - k0->continuity) * (1 - k0->bias);
  const double ds1a = (1 - k1->tension) * (1 - k1->continuity) * (1 + k1->bias);
  const double ds1b = (1 - k1->tension) * (1 + k1->continuity) * (1 - k1->bias);
  const KeyFrame* prev = k0->prev;
  const KeyFrame* next = k1->next;
  for (int i = 0; i < 3; ++i) {
    double d = v1[i] - v0[i];
    double dd0, ds1;
    if (k0->frame == 0 || !prev)
      dd0 = (dd0a + dd0b) * d / 2;
    else
      dd0 = Ratio(span, f1 - double(prev->frame)) * (dd0a * (v0[i] - Triple(prev, kind)[i]) + dd0b * d);
    if (!next)
      ds1 = (ds1a + ds1b) * d / 2;
    else
      ds1 = Ratio(span, double(next->frame) - f0) * (ds1a * d + ds1b * (Triple(next, kind)[i] - v1[i]));
    out[i] = h1 * v0[i] + h2 * v1[i] + h3 * dd0 + h4 * ds1;
  }
  return 0;
}

Envelope* MotionToChannels(SceneDb* db, Motion* motion) {
  if (!motion) return nullptr;
  Envelope* head = nullptr;
  Envelope* tail = nullptr;
  const double fps = Fps(db);
  for (int channel = 0; channel < 9; ++channel) {
    Envelope* env = NewEnvelope(db);
    env->channel = channel;
    env->preBehavior = BEHAVIOR_CONSTANT;
    env->postBehavior = motion->endBehavior;
    for (const KeyFrame& f : motion->keyStore) {
      Key k;
      k.time = f.frame / fps;
      k.value = channel < 3 ? f.position[channel] : channel < 6 ? f.rotation[channel - 3] : f.scale[channel - 6];
      k.shape = f.linear ? SHAPE_LINEAR : SHAPE_TCB;
      k.tension = f.tension;
      k.continuity = f.continuity;
      k.bias = f.bias;
      AppendKey(env, k);
    }
    StoreTangents(env, false);
    if (tail)
      tail->next = env;
    else
      head = env;
    tail = env;
  }
  return head;
}

// ------------------------------------------------------------- insertion

Key* LinkAfter(Envelope* env, Key* after, const Key& key) {
  env->keyStore.push_back(key);
  Key* k = &env->keyStore.back();
  k->prev = after;
  k->next = after ? after->next : env->firstKey;
  if (k->next)
    k->next->prev = k;
  else
    env->lastKey = k;
  if (after)
    after->next = k;
  else
    env->firstKey = k;
  ++env->keyCount;
  return k;
}

double Lerp(double a, double b, double u) { return a + (b - a) * u; }

// de Casteljau split of the cubic p at u: left and right control points.
void Split(const double p[4], double u, double left[4], double right[4]) {
  double p01 = Lerp(p[0], p[1], u), p12 = Lerp(p[1], p[2], u), p23 = Lerp(p[2], p[3], u);
  double p012 = Lerp(p01, p12, u), p123 = Lerp(p12, p23, u);
  double mid = Lerp(p012, p123, u);
  left[0] = p[0], left[1] = p01, left[2] = p012, left[3] = mid;
  right[0] = mid, right[1] = p123, right[2] = p23, right[3] = p[3];
}

// Inserts a key at t strictly inside the span k0 -> k1.
Key* InsertInside(SceneDb* db, Envelope* env, Key* k0, Key* k1, double t) {
  const double t0 = k0->time, t1 = k1->time;
  const double u = (t - t0) / (t1 - t0);
  Key nk;
  nk.time = t;
  nk.shape = k1->shape;
  const Key* prev = k0->prev;
  const Key* next = k1->next;

  // Tangents of the neighbours' outer spans depend on the neighbours'
  // neighbours through the time ratios; keep them as they were.
  if (prev && k0->shape != SHAPE_BEZIER2) k0->param0 *= Ratio(t - prev->time, t1 - prev->time);
  if (next && k1->shape != SHAPE_BEZIER2) k1->param1 *= Ratio(next->time - t, next->time - t0);

  switch (k1->shape) {
    case SHAPE_TCB:
    case SHAPE_HERMITE:
    case SHAPE_BEZIER: {
      const double out = Outgoing(k0, k1), in = Incoming(k0, k1);
      const double p[4] = {k0->value, k0->value + out / 3, k1->value - in / 3, k1->value};
      double l[4], r[4];
      Split(p, u, l, r);
      nk.value = l[3];
      // Effective tangents of the two halves, stored so that the ratios the
      // evaluator applies with the new neighbours give them back.
      const double out0 = 3 * (l[1] - l[0]), in_k = 3 * (l[3] - l[2]);
      const double out_k = 3 * (r[1] - r[0]), in1 = 3 * (r[3] - r[2]);
      if (k0->shape == SHAPE_BEZIER2) {
        if (std::fabs(k0->bias) > 0.00001) k0->bias *= u;
        k0->param0 *= u;
      } else {
        k0->param1 = prev ? out0 / Ratio(t - t0, t - prev->time) : out0;
      }
      nk.param0 = in_k / Ratio(t - t0, t1 - t0);
      nk.param1 = out_k / Ratio(t1 - t, t1 - t0);
      k1->param0 = next ? in1 / Ratio(t1 - t, next->time - t) : in1;
      break;
    }
    case SHAPE_BEZIER2: {
      Bezier2Span b = Bezier2Points(k0, k1);
      const double s = Bezier2Parameter(b, t);
      double lx[4], rx[4], ly[4], ry[4];
      Split(b.x, s, lx, rx);
      Split(b.y, s, ly, ry);
      nk.value = ly[3];
      if (k0->shape == SHAPE_BEZIER2) {
        k0->bias = lx[1] - t0;
        k0->param0 = ly[1] - k0->value;
      } else if (k0->shape == SHAPE_HERMITE || k0->shape == SHAPE_BEZIER) {
        const double out0 = 3 * (ly[1] - ly[0]);
        k0->param1 = prev ? out0 / Ratio(t - t0, t - prev->time) : out0;
      }
      nk.tension = lx[2] - t;
      nk.continuity = ly[2] - nk.value;
      nk.bias = rx[1] - t;
      nk.param0 = ry[1] - nk.value;
      k1->tension = rx[2] - t1;
      k1->continuity = ry[2] - k1->value;
      break;
    }
    default: {
      double v = 0;
      EvaluateEnvelope(db, env, t, &v);
      nk.value = v;
      nk.param0 = v - k0->value;
      nk.param1 = k1->value - v;
      break;
    }
  }
  return LinkAfter(env, k0, nk);
}

Key* InsertEnvelopeKey(SceneDb* db, Envelope* env, double t) {
  if (!env) return nullptr;
  Key* first = env->firstKey;
  if (!first) {
    Key k;
    k.time = t;
    return LinkAfter(env, nullptr, k);
  }
  for (Key* k = first; k; k = k->next)
    if (std::fabs(k->time - t) < kEpsilon) return k;

  Key* last = env->lastKey;
  if (t < first->time) {
    Key k;
    k.time = t;
    k.value = first->value;
    k.shape = first->shape;
    if (first->next) first->param1 *= Ratio(first->next->time - t, first->next->time - first->time);
    return LinkAfter(env, nullptr, k);
  }
  Key* k0 = first;
  while (k0->next && k0->next->time < t) k0 = k0->next;
  if (!k0->next || t > last->time) {
    Key k;
    k.time = t;
    k.value = last->value;
    k.shape = last->shape;
    if (last->shape != SHAPE_BEZIER2 && last->prev)
      last->param0 *= Ratio(t - last->prev->time, last->time - last->prev->time);
    return LinkAfter(env, last, k);
  }
  return InsertInside(db, env, k0, k0->next, t);
}

// ------------------------------------------------------------- items

int EvaluateItemVector(SceneDb* db, SceneItem* item, int kind, double t, double out[3]) {
  if (!item || !out) return ERR_PARAM;
  if (kind == VECTOR_PIVOT_POSITION || kind == VECTOR_PIVOT_ROTATION) {
    const double* v = kind == VECTOR_PIVOT_POSITION ? item->pivotPosition : item->pivotRotation;
    for (int i = 0; i < 3; ++i) out[i] = v[i];
    return 0;
  }
  int base = kind == VECTOR_POSITION ? 0 : kind == VECTOR_ROTATION ? 3 : kind == VECTOR_SCALE ? 6 : -1;
  if (base < 0) return ERR_PARAM;
  if (db->version == 1) return EvaluateMotion(db, item->motion, kind, t * Fps(db), out);
  for (int i = 0; i < 3; ++i) {
    out[i] = 0;
    if (Envelope* e = db->ops.FindItemChannel(db, item, base + i)) EvaluateEnvelope(db, e, t, &out[i]);
  }
  return 0;
}

int SetItemVectorKey(SceneDb* db, SceneItem* item, int kind, double t, double x, double y, double z) {
  if (!item) return ERR_PARAM;
  if (kind == VECTOR_PIVOT_POSITION) return db->ops.SetPivotPosition(db, item, x, y, z);
  if (kind == VECTOR_PIVOT_ROTATION) return db->ops.SetPivotRotation(db, item, x, y, z);
  int base = kind == VECTOR_POSITION ? 0 : kind == VECTOR_ROTATION ? 3 : kind == VECTOR_SCALE ? 6 : -1;
  if (base < 0) return ERR_PARAM;
  Envelope* e[3];
  for (int i = 0; i < 3; ++i)
    if (!(e[i] = db->ops.FindItemChannel(db, item, base + i))) return ERR_PARAM;
  const double v[3] = {x, y, z};
  for (int i = 0; i < 3; ++i) InsertEnvelopeKey(db, e[i], t)->value = v[i];
  return 0;
}

// ------------------------------------------------------------- bones

struct Matrix {
  double m[4][4];
  static Matrix Identity() {
    Matrix r{};
    for (int i = 0; i < 4; ++i) r.m[i][i] = 1;
    return r;
  }
  Matrix operator*(const Matrix& b) const {
    Matrix r{};
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 4; ++k) r.m[i][j] += m[i][k] * b.m[k][j];
    return r;
  }
};

Matrix Translation(double x, double y, double z) {
  Matrix r = Matrix::Identity();
  r.m[3][0] = x, r.m[3][1] = y, r.m[3][2] = z;
  return r;
}

Matrix RotationZ(double a) {
  Matrix r = Matrix::Identity();
  double c = std::cos(a), s = std::sin(a);
  r.m[0][0] = c, r.m[0][1] = s, r.m[1][0] = -s, r.m[1][1] = c;
  return r;
}

Matrix RotationX(double a) {
  Matrix r = Matrix::Identity();
  double c = std::cos(a), s = std::sin(a);
  r.m[1][1] = c, r.m[1][2] = s, r.m[2][1] = -s, r.m[2][2] = c;
  return r;
}

Matrix RotationY(double a) {
  Matrix r = Matrix::Identity();
  double c = std::cos(a), s = std::sin(a);
  r.m[0][0] = c, r.m[0][2] = -s, r.m[2][0] = s, r.m[2][2] = c;
  return r;
}

// One bone's own part of the rest transform.
Matrix BoneLocal(const SceneItem* bone) {
  static const BoneData kNone;
  const BoneData* d = bone->data ? static_cast<const BoneData*>(bone->data) : &kNone;
  const double* pivot = bone->pivotPosition;
  const double* dir = d->restDirection;
  const double* rot = bone->pivotRotation;
  return Translation(-pivot[0], -pivot[1], -pivot[2]) * RotationZ(dir[2]) * RotationX(dir[1]) * RotationY(dir[0]) *
         RotationZ(rot[2]) * RotationX(rot[1]) * RotationY(rot[0]) *
         Translation(d->restPosition[0], d->restPosition[1], d->restPosition[2]);
}

// The walk from a bone through its bone ancestors stops at a revisited
// bone, so every bone's transform is its own part times its parent's,
// except on a cycle, where each member's product runs once around the cycle
// starting at itself. Each bone is visited a bounded number of times.
int ComputeBoneRest(SceneDb* db) {
  const std::vector<SceneItem*>& bones = db->priv->byType[ITEM_BONE - 1];  // bone i has typeIndex i
  const size_t n = bones.size();
  std::vector<Matrix> local(n), full(n);
  std::vector<int> parent(n, -1), state(n, 0), position(n, 0);
  for (size_t i = 0; i < n; ++i) {
    local[i] = BoneLocal(bones[i]);
    SceneItem* p = db->ops.GetParentItem(db, bones[i]);
    if (p && p->type == ITEM_BONE) parent[i] = p->typeIndex;
  }
  std::vector<int> path;
  for (size_t start = 0; start < n; ++start) {
    if (state[start]) continue;
    path.clear();
    int x = int(start);
    while (x >= 0 && state[size_t(x)] == 0) {
      state[size_t(x)] = 1;
      position[size_t(x)] = int(path.size());
      path.push_back(x);
      x = parent[size_t(x)];
    }
    size_t tailEnd = path.size();
    if (x >= 0 && state[size_t(x)] == 1) {
      tailEnd = size_t(position[size_t(x)]);
      const size_t k = path.size() - tailEnd;
      std::vector<Matrix> suffix(k + 1);
      suffix[k] = Matrix::Identity();
      for (size_t j = k; j-- > 0;) suffix[j] = local[size_t(path[tailEnd + j])] * suffix[j + 1];
      Matrix prefix = Matrix::Identity();
      for (size_t j = 0; j < k; ++j) {
        size_t b = size_t(path[tailEnd + j]);
        full[b] = suffix[j] * prefix;
        prefix = prefix * local[b];
        state[b] = 2;
      }
    }
    for (size_t j = tailEnd; j-- > 0;) {
      size_t b = size_t(path[j]);
      full[b] = parent[b] >= 0 ? local[b] * full[size_t(parent[b])] : local[b];
      state[b] = 2;
    }
  }
  for (SceneItem* object = db->ops.FindFirstItem(db, ITEM_OBJECT, nullptr); object;
       object = db->ops.NextItemOfType(db, object)) {
    for (SceneItem* bone = db->ops.FindFirstItem(db, ITEM_BONE, object); bone; bone = db->ops.NextItemOfType(db, bone)) {
      auto* d = static_cast<BoneData*>(bone->data);
      if (!d) continue;
      const Matrix& m = full[size_t(bone->typeIndex)];
      for (int c = 0; c < 3; ++c) {
        d->basePoint[c] = m.m[3][c];
        d->tipPoint[c] = d->restLength * m.m[2][c] + m.m[3][c];
      }
    }
  }
  return 0;
}

}  // namespace

Envelope* NewEnvelope(SceneDb* db) { return db->priv->Own(std::make_unique<Envelope>()); }

Key* AppendKey(Envelope* env, const Key& key) { return LinkAfter(env, env->lastKey, key); }

void StoreTangents(Envelope* env, bool withStepped) {
  for (Key* k0 = env->firstKey; k0 && k0->next; k0 = k0->next) {
    Key* k1 = k0->next;
    const Key* prev = k0->prev;
    const Key* next = k1->next;
    const double d = k1->value - k0->value;
    if (k1->shape == SHAPE_TCB) {
      double a0 = (1 - k0->tension) * (1 + k0->continuity) * (1 + k0->bias);
      double b0 = (1 - k0->tension) * (1 - k0->continuity) * (1 - k0->bias);
      k0->param1 = prev ? a0 * (k0->value - prev->value) + b0 * d : (a0 + b0) * d / 2;
      double a1 = (1 - k1->tension) * (1 - k1->continuity) * (1 + k1->bias);
      double b1 = (1 - k1->tension) * (1 + k1->continuity) * (1 - k1->bias);
      k1->param0 = next ? b1 * (next->value - k1->value) + a1 * d : (a1 + b1) * d / 2;
    } else if (k1->shape == SHAPE_LINEAR || (withStepped && k1->shape == SHAPE_STEPPED)) {
      k0->param1 = d;
      k1->param0 = d;
      if (prev) k0->param1 *= Ratio(k1->time - prev->time, k1->time - k0->time);
      if (next) k1->param0 *= Ratio(next->time - k0->time, k1->time - k0->time);
    }
  }
}

void InstallEvalOps(SceneDbOps& o) {
  o.EvaluateItemVector = EvaluateItemVector;
  o.SetItemVectorKey = SetItemVectorKey;
  o.EvaluateMotion = EvaluateMotion;
  o.EvaluateEnvelope = EvaluateEnvelope;
  o.MotionToChannels = MotionToChannels;
  o.InsertEnvelopeKey = InsertEnvelopeKey;
  o.ComputeBoneRest = ComputeBoneRest;
}
