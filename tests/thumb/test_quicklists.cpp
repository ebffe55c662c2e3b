#include "QuickLists.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

struct TRec {
    int a;
    double b;
};

TEST(QuickList, CapacityGrowsBySixteenThenByAQuarter) {
    TRecordList<TRec> l(false);
    std::vector<int> capacities;
    for (int i = 0; i < 101; ++i) {
        l.Append({i, 0});
        if (capacities.empty() || capacities.back() != l.Capacity()) capacities.push_back(l.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{16, 32, 48, 64, 80, 100, 125}));
}

static std::vector<int> Values(const TRecordList<TRec>& l) {
    std::vector<int> v;
    for (int i = 0; i < l.Count(); ++i)
        v.push_back(l[i].a);
    return v;
}

TEST(BufList, SwapRemovalFillsTheHoleWithTheLastItem) {
    TRecordList<TRec> l(false);
    for (int i = 0; i < 5; ++i)
        l.Append({i, 0.5 * i});
    l.Delete(1);
    EXPECT_EQ(Values(l), (std::vector<int>{0, 4, 2, 3}));
    l.Delete(3); // the last one
    EXPECT_EQ(Values(l), (std::vector<int>{0, 4, 2}));
    l.Delete(7); // out of range: nothing
    l.Delete(-1);
    EXPECT_EQ(l.Count(), 3);
}

TEST(BufList, OrderKeepingRemovalShiftsLaterItemsDown) {
    TRecordList<TRec> l(true);
    for (int i = 0; i < 5; ++i)
        l.Append({i, 0});
    l.Delete(1);
    l.Delete(0);
    EXPECT_EQ(Values(l), (std::vector<int>{2, 3, 4}));
}

TEST(BufList, RemovedBuffersAreReusedNotFreed) {
    for (bool keep : {false, true}) {
        TRecordList<TRec> l(keep);
        std::set<void*> buffers;
        for (int i = 0; i < 40; ++i)
            buffers.insert(&l.Append({i, 0}));
        EXPECT_EQ(l.Allocated(), 40);
        EXPECT_GE(l.Capacity(), 40);
        for (int i = 0; i < 30; ++i)
            l.Delete(i % l.Count());
        EXPECT_EQ(l.Count(), 10);
        l.SetCapacity(0); // shrinking keeps the spare buffers, which the list still owns
        EXPECT_EQ(l.Capacity(), 40);
        for (int i = 0; i < 30; ++i)
            EXPECT_TRUE(buffers.count(&l.Append({100 + i, 0}))) << "keep=" << keep;
        EXPECT_EQ(l.Allocated(), 40);
        // Every live item is still a distinct buffer.
        std::set<void*> live;
        for (int i = 0; i < l.Count(); ++i)
            live.insert(l.Item(i));
        EXPECT_EQ(int(live.size()), 40);
    }
}
