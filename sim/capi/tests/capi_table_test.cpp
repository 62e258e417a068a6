// Pending-request table and its iterator.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "capi.h"

namespace {

struct Table {
  capi_table t;
  Table() { capi_table_init(&t); }
  ~Table() {
    while (t.head) std::free(capi_table_remove(&t, t.head->request_id));
  }
  std::set<uint32_t> ids() {
    std::set<uint32_t> out;
    capi_table_iterator* it = capi_table_get_iterator(&t);
    while (capi_table_iterator_has_next(it)) out.insert(capi_table_iterator_next(it)->request_id);
    capi_table_iterator_destroy(it);
    return out;
  }
};

TEST(CapiTable, AddLookupRemove) {
  Table tb;
  capi_table_entry* a = capi_table_add(&tb.t);
  capi_table_entry* b = capi_table_add(&tb.t);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a->request_id, 0u);
  EXPECT_NE(a->request_id, b->request_id);
  a->msg_id = 13;
  int cookie = 0;
  a->cookie = &cookie;

  EXPECT_EQ(capi_table_lookup(&tb.t, a->request_id), a);
  EXPECT_EQ(capi_table_lookup(&tb.t, b->request_id + 100), nullptr);
  EXPECT_EQ(capi_table_size(&tb.t), 2u);

  const uint32_t id = a->request_id;
  capi_table_entry* removed = capi_table_remove(&tb.t, id);
  ASSERT_EQ(removed, a);
  EXPECT_EQ(removed->msg_id, 13u);
  EXPECT_EQ(removed->cookie, &cookie);
  std::free(removed);
  EXPECT_EQ(capi_table_lookup(&tb.t, id), nullptr);
  EXPECT_EQ(capi_table_remove(&tb.t, id), nullptr) << "an id is removed once";
  EXPECT_EQ(capi_table_size(&tb.t), 1u);
}

TEST(CapiTable, IdsStayDistinctAcrossWrapAround) {
  Table tb;
  capi_table_entry* first = capi_table_add(&tb.t);  // id 1, kept pending
  ASSERT_EQ(first->request_id, 1u);
  tb.t.last_id = UINT32_MAX - 1;
  EXPECT_EQ(capi_table_add(&tb.t)->request_id, UINT32_MAX);
  EXPECT_EQ(capi_table_add(&tb.t)->request_id, 2u) << "0 is never given and 1 is pending";
  EXPECT_EQ(tb.ids(), (std::set<uint32_t>{1u, 2u, UINT32_MAX}));
}

TEST(CapiTable, ManyPendingEntriesHaveDistinctIds) {
  Table tb;
  std::set<uint32_t> seen;
  for (int k = 0; k < 500; ++k) {
    capi_table_entry* e = capi_table_add(&tb.t);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(seen.insert(e->request_id).second) << "id " << e->request_id << " given twice";
    if (k % 3 == 0) {
      seen.erase(e->request_id);
      std::free(capi_table_remove(&tb.t, e->request_id));
    }
  }
  EXPECT_EQ(tb.ids(), seen);
}

TEST(CapiTableIterator, RemovingWhileIterating) {
  struct Case {
    const char* name;
    bool (*remove)(uint32_t index);  // index in iteration order
  };
  const Case kCases[] = {
      {"remove all", [](uint32_t) { return true; }},
      {"remove none", [](uint32_t) { return false; }},
      {"remove every other", [](uint32_t i) { return i % 2 == 0; }},
      {"remove the first only", [](uint32_t i) { return i == 0; }},
      {"remove the last only", [](uint32_t i) { return i == 4; }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Table tb;
    for (int k = 0; k < 5; ++k) capi_table_add(&tb.t);
    std::set<uint32_t> kept;
    capi_table_iterator* it = capi_table_get_iterator(&tb.t);
    ASSERT_NE(it, nullptr);
    EXPECT_EQ(capi_table_iterator_remove_current(it), nullptr) << "nothing returned yet";
    uint32_t index = 0;
    while (capi_table_iterator_has_next(it)) {
      capi_table_entry* e = capi_table_iterator_next(it);
      ASSERT_NE(e, nullptr);
      if (c.remove(index++)) {
        const uint32_t id = e->request_id;
        ASSERT_EQ(capi_table_iterator_remove_current(it), e);
        EXPECT_EQ(capi_table_iterator_remove_current(it), nullptr) << "removed once only";
        std::free(e);
        EXPECT_EQ(capi_table_lookup(&tb.t, id), nullptr);
      } else {
        kept.insert(e->request_id);
      }
    }
    EXPECT_EQ(index, 5u) << "every entry visited once";
    EXPECT_EQ(capi_table_iterator_next(it), nullptr);
    capi_table_iterator_destroy(it);
    EXPECT_EQ(tb.ids(), kept);
    EXPECT_EQ(capi_table_size(&tb.t), kept.size());
  }
}

TEST(CapiTableIterator, EmptyTable) {
  Table tb;
  capi_table_iterator* it = capi_table_get_iterator(&tb.t);
  ASSERT_NE(it, nullptr);
  EXPECT_FALSE(capi_table_iterator_has_next(it));
  EXPECT_EQ(capi_table_iterator_next(it), nullptr);
  capi_table_iterator_destroy(it);
}

}  // namespace
