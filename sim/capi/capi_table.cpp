// Pending-request table: a singly linked list of calloc'd entries keyed by a
// request id that is unique among the pending ones.
#include <cstdlib>

#include "capi.h"

struct capi_table_iterator {
  capi_table* table;
  capi_table_entry* prev;     // entry before `current` in the list, null at the head
  capi_table_entry* current;  // last entry returned by next
  capi_table_entry* next;
  bool removed;               // current was taken out already
};

extern "C" void capi_table_init(capi_table* table) {
  if (!table) return;
  table->head = nullptr;
  table->count = 0;
  table->last_id = 0;
}

extern "C" capi_table_entry* capi_table_lookup(capi_table* table, uint32_t request_id) {
  if (!table) return nullptr;
  for (capi_table_entry* e = table->head; e; e = e->next) {
    if (e->request_id == request_id) return e;
  }
  return nullptr;
}

extern "C" capi_table_entry* capi_table_add(capi_table* table) {
  if (!table || table->count >= UINT32_MAX - 1) return nullptr;
  auto* e = static_cast<capi_table_entry*>(std::calloc(1, sizeof(capi_table_entry)));
  if (!e) return nullptr;
  // Ids run on from the last one given, wrapping past 0 and skipping pending ids.
  uint32_t id = table->last_id;
  do {
    ++id;
  } while (id == 0 || capi_table_lookup(table, id) != nullptr);
  table->last_id = id;
  e->request_id = id;
  e->next = table->head;
  table->head = e;
  ++table->count;
  return e;
}

extern "C" capi_table_entry* capi_table_remove(capi_table* table, uint32_t request_id) {
  if (!table) return nullptr;
  for (capi_table_entry** link = &table->head; *link; link = &(*link)->next) {
    capi_table_entry* e = *link;
    if (e->request_id != request_id) continue;
    *link = e->next;
    e->next = nullptr;
    --table->count;
    return e;
  }
  return nullptr;
}

extern "C" uint32_t capi_table_size(const capi_table* table) { return table ? table->count : 0; }

extern "C" capi_table_iterator* capi_table_get_iterator(capi_table* table) {
  if (!table) return nullptr;
  auto* it = static_cast<capi_table_iterator*>(std::calloc(1, sizeof(capi_table_iterator)));
  if (!it) return nullptr;
  it->table = table;
  it->next = table->head;
  return it;
}

extern "C" bool capi_table_iterator_has_next(const capi_table_iterator* it) {
  return it && it->next != nullptr;
}

extern "C" capi_table_entry* capi_table_iterator_next(capi_table_iterator* it) {
  if (!it || !it->next) return nullptr;
  if (it->current && !it->removed) it->prev = it->current;
  it->current = it->next;
  it->next = it->current->next;
  it->removed = false;
  return it->current;
}

extern "C" capi_table_entry* capi_table_iterator_remove_current(capi_table_iterator* it) {
  if (!it || !it->current || it->removed) return nullptr;
  capi_table_entry* e = it->current;
  if (it->prev) {
    it->prev->next = e->next;
  } else {
    it->table->head = e->next;
  }
  e->next = nullptr;
  --it->table->count;
  it->removed = true;
  return e;
}

extern "C" void capi_table_iterator_destroy(capi_table_iterator* it) { std::free(it); }
