// Polygon records keep their corner lists and first channel in place: values
// must survive copies, moves, the growth of the polygon list and the sort,
// and a polygon's current channel must keep naming its own channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "corner_array.h"
#include "objectdb.h"

namespace {

std::vector<int32_t> Iota(int n, int32_t first) {
  std::vector<int32_t> v(size_t(std::max(n, 0)));
  for (int i = 0; i < n; ++i) v[size_t(i)] = first + i;
  return v;
}

// Every size around the inline capacity: assignment, growth one value at a
// time, copies and moves agree with std::vector.
TEST(CornerArray, BehavesLikeAVectorAcrossTheInlineLimit) {
  for (int n = 0; n <= 10; ++n) {
    const std::vector<int32_t> want = Iota(n, 100 * n);
    CornerArray a;
    a.assign(want.begin(), want.end());
    EXPECT_EQ(a, want) << n;
    CornerArray pushed;
    for (int32_t v : want) pushed.push_back(v);
    EXPECT_EQ(pushed, want) << n;
    EXPECT_GE(pushed.capacity(), pushed.size());

    CornerArray copy(a);
    EXPECT_EQ(copy, want) << n;
    if (n > 0) copy[0] = -7;
    EXPECT_EQ(a, want) << n;  // deep copy

    CornerArray moved(std::move(copy));
    EXPECT_TRUE(copy.empty());
    if (n > 0) {
      EXPECT_EQ(moved[0], -7);
    }
    moved = a;
    EXPECT_EQ(moved, want);
    CornerArray target = {1, 2, 3, 4, 5, 6};
    target = std::move(moved);
    EXPECT_EQ(target, want) << n;
    std::vector<int32_t> back = target;
    EXPECT_EQ(back, want);
  }
}

TEST(CornerArray, ResizeFillsEraseCloses) {
  CornerArray a = {1, 2, 3};
  a.resize(7, -1);
  EXPECT_EQ(a, (std::vector<int32_t>{1, 2, 3, -1, -1, -1, -1}));
  a.resize(2);
  EXPECT_EQ(a, (std::vector<int32_t>{1, 2}));
  a.assign(size_t(9), 4);
  EXPECT_EQ(a.size(), 9u);
  a = {5, 6, 7, 8, 9, 10};
  a.erase(std::remove_if(a.begin(), a.end(), [](int32_t v) { return v % 2 == 0; }), a.end());
  EXPECT_EQ(a, (std::vector<int32_t>{5, 7, 9}));
  std::fill(a.begin(), a.end(), 0);
  EXPECT_EQ(a, (std::vector<int32_t>{0, 0, 0}));
  EXPECT_NE(a, (std::vector<int32_t>{0, 0}));
}

TEST(CornerChannelList, FirstChannelInlineOthersStable) {
  CornerChannelList list;
  EXPECT_TRUE(list.empty());
  CornerChannel& first = list.emplace_back();
  first.key = 1;
  first.values = {1, 2, 3};
  CornerChannel& second = list.emplace_back();
  second.key = 2;
  second.values = {4, 5, 6, 7, 8, 9};
  CornerChannel* secondAddress = &second;
  EXPECT_EQ(list.size(), 2u);

  CornerChannelList moved(std::move(list));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(moved.size(), 2u);
  EXPECT_EQ(&moved.back(), secondAddress);  // heap nodes never move
  EXPECT_EQ(moved.front().values, (std::vector<int32_t>{1, 2, 3}));

  CornerChannelList copy = moved;
  EXPECT_NE(&copy.back(), secondAddress);
  std::vector<int16_t> keys;
  for (const CornerChannel& c : copy) keys.push_back(c.key);
  EXPECT_EQ(keys, (std::vector<int16_t>{1, 2}));
  copy.clear();
  EXPECT_TRUE(copy.empty());
  EXPECT_EQ(copy.size(), 0u);
}

struct Db {
  ObjectDb* db = CreateObjectDb(0);
  ObjectDbOps& o = db->ops;
  ~Db() { CloseObjectDb(&db); }
};

// A current channel keeps naming its polygon's own channel while the polygon
// list grows (records move) and in copies of the record.
TEST(PolygonRecords, CurrentChannelFollowsTheRecord) {
  Db d;
  d.o.AddLayer(d.db, "");
  for (int i = 0; i < 8; ++i) d.o.AddPoint(d.db, i, i * i, 0);
  const int32_t quad[4] = {0, 1, 2, 3};
  ASSERT_EQ(d.o.AddPolygon(d.db, 4, quad, "A"), 0);
  ASSERT_NE(d.o.SelectPolygonChannel(d.db, 0, 1, 0), nullptr);
  const int32_t values[4] = {10, 11, 12, 13};
  ASSERT_EQ(d.o.SetPolygonChannelValues(d.db, 0, 4, values), 0);
  CornerChannel* second = d.o.SelectPolygonChannel(d.db, 0, 1, 1);
  ASSERT_NE(second, nullptr);
  d.o.SelectPolygonChannel(d.db, 0, 1, 0);
  for (int i = 0; i < 1000; ++i) d.o.AddPolygon(d.db, 3, quad, "A");

  ObjPolygon* p = d.o.GetPolygon(d.db, 0);
  ASSERT_NE(p->currentChannel, nullptr);
  EXPECT_EQ(p->currentChannel, &p->channels.front());
  EXPECT_EQ(p->currentChannel->values, (std::vector<int32_t>{10, 11, 12, 13}));
  EXPECT_EQ(d.o.FindPolygonChannel(d.db, 0, 1, 1), second);

  ObjPolygon copy = *p;
  EXPECT_EQ(copy.currentChannel, &copy.channels.front());
  ObjPolygon moved = std::move(copy);
  EXPECT_EQ(moved.currentChannel, &moved.channels.front());
  EXPECT_EQ(moved.currentChannel->values, p->currentChannel->values);
}

// The sort moves records in place: every polygon arrives at its stable
// position with its corners, channel, tags and index. Few polygons and many
// are ordered in different ways (many by counting passes over the key's two
// halves, with one surface the lower half is the same in every key).
void CheckSortKeepsEveryPolygonWhole(int count, int surfaces) {
  SCOPED_TRACE(std::to_string(count) + " polygons, " + std::to_string(surfaces) + " surfaces");
  Db d;
  d.o.AddLayer(d.db, "");
  for (int i = 0; i < 16; ++i) d.o.AddPoint(d.db, i, (i * 7) % 5, (i * 3) % 4);
  d.o.AddSurface(d.db, "A");
  d.o.AddSurface(d.db, "B");
  struct Made {
    std::vector<int32_t> points;
    int surface;
  };
  std::vector<Made> made;
  for (int i = 0; i < count; ++i) {
    const int corners = 3 + (i * 5) % 4;
    std::vector<int32_t> pts;
    for (int c = 0; c < corners; ++c) pts.push_back((i + c * 3) % 16);
    const int surface = (i / 7) % surfaces;
    const int index = d.o.AddPolygon(d.db, corners, pts.data(), surface ? "B" : "A");
    ASSERT_EQ(index, i);
    d.o.SelectPolygonChannel(d.db, i, 1, 0);
    std::vector<int32_t> values(size_t(corners), i);
    d.o.SetPolygonChannelValues(d.db, i, corners, values.data());
    made.push_back({pts, surface});
  }
  std::vector<int> order(made.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
  auto key = [&](int i) { return uint32_t(made[size_t(i)].surface) | (uint32_t(made[size_t(i)].points.size()) << 16); };
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key(a) < key(b); });

  ASSERT_EQ(d.o.SortPolygons(d.db), 0);
  PolygonTagTable* table = d.o.NextPolygonTagTable(d.db, nullptr, ID_SURF);
  ASSERT_NE(table, nullptr);
  for (size_t i = 0; i < order.size(); ++i) {
    const Made& m = made[size_t(order[i])];
    ObjPolygon* p = d.o.GetPolygon(d.db, int(i));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->index, int(i));
    EXPECT_EQ(p->points, m.points) << i;
    ASSERT_NE(p->currentChannel, nullptr);
    EXPECT_EQ(p->currentChannel, &p->channels.front());
    EXPECT_EQ(p->currentChannel->values[0], order[i]) << i;
    ObjTag* tag = d.o.GetPolygonTag(d.db, table, int(i));
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag->name, m.surface ? "B" : "A");
    EXPECT_STREQ(p->surfaceName, m.surface ? "B" : "A");
  }
}

TEST(PolygonRecords, SortKeepsEveryPolygonWhole) {
  CheckSortKeepsEveryPolygonWhole(300, 2);
  CheckSortKeepsEveryPolygonWhole(3000, 2);
  CheckSortKeepsEveryPolygonWhole(3000, 1);
}

}  // namespace
