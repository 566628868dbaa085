// Pods as containers: slots handed out, found, deleted and iterated; items
// destroyed by their type; pea pods over one block; pod sets.
#include "tamu.h"
#include "pod_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

cfile *memory_file(const std::string &content) {
    cbuffer *b = tamu_create_buffer(0);
    cbuffer_add_data(b, content.data(), int(content.size()));
    b->position = 0;
    return b;
}

TEST(Pod, AddedItemsTakeSlotsInOrderAndAreFoundByType) {
    int live = tamu_items_created;
    cpod *pod = tamu_create_pod(0);
    EXPECT_EQ(tamu_items_created, live + 1);
    cpalette *palette = tamu_create_palette();
    cbitmap *bitmap = tamu_create_bitmap(3, 2, 8);
    cfile *file = memory_file("abc");
    EXPECT_EQ(cpod_add_item(pod, CPOD_ITEM_PALETTE, palette), 0);
    EXPECT_EQ(cpod_add_item(pod, CPOD_ITEM_BITMAP, bitmap), 1);
    EXPECT_EQ(cpod_add_item(pod, CPOD_ITEM_FILE, file), 2);
    EXPECT_EQ(pod->count, 3);

    EXPECT_EQ(cpod_get_item(pod, 1, 0), bitmap);
    EXPECT_EQ(cpod_get_item(pod, 1, CPOD_ITEM_BITMAP), bitmap);
    EXPECT_EQ(cpod_get_item(pod, 1, CPOD_ITEM_PALETTE), nullptr);
    EXPECT_EQ(cpod_get_item(pod, 3, 0), nullptr);
    EXPECT_EQ(cpod_get_item(pod, -1, 0), nullptr);
    EXPECT_EQ(cpod_get_item(nullptr, 0, 0), nullptr);
    EXPECT_EQ(cpod_get_item_index(pod, file), 2);
    EXPECT_EQ(cpod_get_item_index(pod, &live), -1);

    tamu_destroy_pod(pod);
    EXPECT_EQ(tamu_items_created, live);   // the pod, the palette and the bitmap
}

TEST(Pod, DeletedSlotIsHandedOutAgain) {
    cpod *pod = tamu_create_pod(0);
    for (int i = 0; i < 3; i++) cpod_add_item(pod, CPOD_ITEM_MEMORY, tamu_malloc(8));
    cpod_delete_item(pod, 0);
    EXPECT_EQ(pod->count, 2);
    EXPECT_EQ(pod->types[0], CPOD_ITEM_FREE);
    EXPECT_EQ(pod->items[0], nullptr);
    cpod_delete_item(pod, 0);   // already free: nothing happens
    cpod_delete_item(pod, 99);  // no such slot
    EXPECT_EQ(pod->count, 2);
    EXPECT_EQ(cpod_add_item(pod, CPOD_ITEM_MEMORY, tamu_malloc(8)), 0);
    EXPECT_EQ(cpod_add_item(pod, CPOD_ITEM_MEMORY, tamu_malloc(8)), 3);
    // order holds the used slots first and where is its inverse.
    for (int i = 0; i < pod->capacity; i++) EXPECT_EQ(pod->where[pod->order[i]], i);
    tamu_destroy_pod(pod);
}

TEST(Pod, SoftDeleteHandsTheItemBack) {
    int live = tamu_items_created;
    cpod *pod = tamu_create_pod(1);
    cbitmap *bitmap = tamu_create_bitmap(1, 1, 8);
    cpod_add_item(pod, CPOD_ITEM_BITMAP, bitmap);
    cpod_delete_item_soft(pod, 0);
    tamu_destroy_pod(pod);
    EXPECT_EQ(tamu_items_created, live + 1);   // the bitmap is still alive
    bitmap->rows[0][0] = 7;
    tamu_destroy_bitmap(bitmap);
}

TEST(Pod, GrowsByHalfPlusEight) {
    cpod *pod = tamu_create_pod(0);
    EXPECT_EQ(pod->capacity, 0);
    std::vector<int> seen;
    for (int i = 0; i < 21; i++) {
        cpod_add_item(pod, 13, pod);   // a type with no kind: never destroyed
        if (seen.empty() || seen.back() != pod->capacity) seen.push_back(pod->capacity);
    }
    EXPECT_EQ(seen, (std::vector<int>{8, 20, 38}));
    cpod_set_size(pod, 10);   // smaller: nothing
    EXPECT_EQ(pod->capacity, 38);
    cpod_set_size(pod, 50);
    EXPECT_EQ(pod->capacity, 50);
    EXPECT_EQ(pod->types[49], CPOD_ITEM_FREE);
    EXPECT_EQ(cpod_add_item(pod, 13, pod), 21);
    tamu_destroy_pod(pod);
}

TEST(Pod, ItemsAreDestroyedByTheirTypeLastUsedFirst) {
    int live = tamu_items_created;
    static std::vector<int> destroyed;
    destroyed.clear();
    tamu_set_destroy_item_func([](void *item, uint32_t type, int slot) {
        EXPECT_EQ(type, 100u + slot);
        destroyed.push_back(slot);
        tamu_free(item);
    });
    cpod *pod = tamu_create_pod(2);
    cpod *inner = tamu_create_pod(0);
    cpod_add_item(inner, CPOD_ITEM_PALETTE, tamu_create_palette());
    cpod_add_item(pod, CPOD_ITEM_APPLICATION, tamu_malloc(4));   // slot 0
    cpod_add_item(pod, CPOD_ITEM_POD, inner);
    cpod_add_item(pod, CPOD_ITEM_MEMORY, tamu_malloc(16));
    cpod_add_item(pod, CPOD_ITEM_BITMAP, tamu_create_bitmap(4, 4, 32));
    cpod_add_item(pod, CPOD_ITEM_FILE, memory_file("x"));
    cpod_add_item(pod, 105, tamu_malloc(4));   // slot 5
    cpod_add_item(pod, 50, &live);            // no kind: left alone
    cpod_clear(pod);
    EXPECT_EQ(destroyed, (std::vector<int>{5, 0}));
    EXPECT_EQ(pod->count, 0);
    EXPECT_EQ(tamu_items_created, live + 1);   // only the outer pod
    EXPECT_EQ(cpod_add_item(pod, CPOD_ITEM_MEMORY, tamu_malloc(4)), 0);   // handed out from 0 again
    tamu_destroy_pod(pod);
    tamu_set_destroy_item_func(nullptr);
    EXPECT_EQ(tamu_items_created, live);
    tamu_destroy_pod(nullptr);
}

TEST(Pod, BadAddsLogAnAssertion) {
    LogCapture log;
    cpod *pod = tamu_create_pod(0);
    int x = 0;
    EXPECT_EQ(cpod_add_item(pod, 0, &x), 0);
    EXPECT_NE(pod->types[0], CPOD_ITEM_FREE);   // in use, so it is not handed out again
    EXPECT_EQ(cpod_add_item(pod, 13, nullptr), 1);
    EXPECT_EQ(cpod_add_item(nullptr, 13, &x), -1);
    std::string text = log.text();
    EXPECT_NE(text.find("\nAssertion failed: Bad cpod_add_item type\n"), std::string::npos);
    EXPECT_NE(text.find("\nAssertion failed: Bad cpod_add_item\n"), std::string::npos);
    tamu_destroy_pod(pod);
}

// ---------------------------------------------------------------------------
// Pea pods

TEST(PeaPod, SlotsPointIntoOneBlockAndFillUp) {
    EXPECT_EQ(tamu_create_pea_pod(0, 8), nullptr);
    EXPECT_EQ(tamu_create_pea_pod(4, -1), nullptr);
    EXPECT_EQ(tamu_create_pea_pod(0x10000, 0x10000), nullptr);   // 4 GB block
    cpod *pod = tamu_create_pea_pod(3, 12);
    for (int i = 0; i < 3; i++) EXPECT_EQ(static_cast<uint8_t *>(pod->items[i]), pod->block + 12 * i);
    EXPECT_EQ(cpod_get_free_item(pod), 0);
    EXPECT_EQ(cpod_get_free_item(pod), 1);
    EXPECT_EQ(cpod_add_item(pod, 7, pod), 2);
    EXPECT_EQ(pod->items[2], pod->block + 24);   // the slot keeps pointing into the block
    EXPECT_EQ(cpod_get_free_item(pod), -1);
    EXPECT_EQ(pod->count, 3);
    EXPECT_EQ(pod->capacity, 3);
    std::memset(pod->items[1], 0xAB, 12);
    cpod_delete_item(pod, 1);   // destroys nothing
    EXPECT_EQ(static_cast<uint8_t *>(pod->items[1])[0], 0xAB);
    EXPECT_EQ(cpod_get_free_item(pod), 1);
    cpod_set_size(pod, 10);   // a pea pod never grows
    EXPECT_EQ(pod->capacity, 3);
    cpod_clear(pod);
    EXPECT_EQ(pod->count, 0);
    EXPECT_EQ(static_cast<uint8_t *>(pod->items[1])[0], 0);
    tamu_destroy_pod(pod);
}

TEST(PeaPod, IteratesFromTheLastUsedBack) {
    cpod *pod = tamu_create_pea_pod(5, 4);
    for (int i = 0; i < 4; i++) cpod_get_free_item(pod);
    cpod_delete_item(pod, 1);   // order becomes 0, 3, 2 (slot 3 took slot 1's place)
    std::vector<int> visited;
    for (void *item = cpod_first(pod); item; item = cpod_next(pod, item))
        visited.push_back(cpod_get_item_index(pod, item));
    EXPECT_EQ(visited, (std::vector<int>{2, 3, 0}));
    EXPECT_EQ(cpod_next(pod, pod->items[1]), nullptr);   // a free slot
    cpod_clear(pod);
    EXPECT_EQ(cpod_first(pod), nullptr);
    tamu_destroy_pod(pod);
}

TEST(PeaPod, ItemIndexOnlyForItemsOfTheBlock) {
    struct Case {
        int slots, size;
    };
    for (Case c : {Case{1, 16}, Case{4, 16}, Case{1, 0}, Case{3, 0}}) {
        SCOPED_TRACE(testing::Message() << c.slots << " slots of " << c.size);
        cpod *pod = tamu_create_pea_pod(c.slots, c.size);
        ASSERT_NE(pod, nullptr);
        if (c.size == 0) {
            // Every item would share one address: no slot can be told.
            EXPECT_EQ(cpod_get_item_index(pod, pod->items[0]), -1);
        } else {
            for (int i = 0; i < c.slots; i++) EXPECT_EQ(cpod_get_item_index(pod, pod->items[i]), i);
            uint8_t *first = pod->block;
            EXPECT_EQ(cpod_get_item_index(pod, first + c.size * c.slots), -1);   // just past the block
            EXPECT_EQ(cpod_get_item_index(pod, first + 1), -1);                  // inside an item
            EXPECT_EQ(cpod_get_item_index(pod, first - c.size), -1);
            cpod_get_free_item(pod);
            EXPECT_EQ(cpod_first(pod), first);
            EXPECT_EQ(cpod_next(pod, first), nullptr);
        }
        tamu_destroy_pod(pod);
    }
}

TEST(PodSet, ClearDestroysEveryPod) {
    int live = tamu_items_created;
    cpod_set set;
    std::memset(&set, 0x5A, sizeof set);
    cpod_set_init(&set);
    for (cpod *p : set.pods) EXPECT_EQ(p, nullptr);
    set.pods[0] = tamu_create_pod(0);
    set.pods[255] = tamu_create_pod(4);
    cpod_add_item(set.pods[255], CPOD_ITEM_PALETTE, tamu_create_palette());
    cpod_set_clear(&set);
    EXPECT_EQ(set.pods[0], nullptr);
    EXPECT_EQ(set.pods[255], nullptr);
    EXPECT_EQ(tamu_items_created, live);
}

}  // namespace
