#include "coalescent/GenealogyTree.h"

#include <climits>
#include <new>
#include <sstream>

#include <gtest/gtest.h>

using namespace fluviagen;

namespace {

// Joins two nodes under `parent`, as a coalescence does.
void join(TreeNode& parent, TreeNode& a, TreeNode& b, int time, int segmentId, int generation) {
    parent.left = &a;
    parent.right = &b;
    a.ancestor = &parent;
    b.ancestor = &parent;
    parent.time = time;
    ASSERT_EQ(parent.create_LocationVector(), 1);
    ASSERT_EQ(parent.storeMigration(segmentId, generation), 1);
}

// Leaves 1 and 2 of deme 0 joined in node 4 at time 3, node 4 joined with
// leaf 3 of deme 1 in the root (node 5) at time 10; mutations 0, 1, 2, 3.
void buildWorkedExample(GenealogyTree& tree) {
    ASSERT_EQ(tree.resize(3), 1);
    for (int i = 0; i < 3; ++i) tree.node(i).demeId = i < 2 ? 0 : 1;
    join(tree.node(3), tree.node(0), tree.node(1), 3, 1, 97);
    join(tree.node(4), tree.node(3), tree.node(2), 10, 1, 90);
    tree.node(0).mutations = 0;
    tree.node(1).mutations = 1;
    tree.node(3).mutations = 2;
    tree.node(2).mutations = 3;
}

}  // namespace

TEST(GenealogyTreeNewick, WorkedExampleBothKinds) {
    GenealogyTree tree;
    buildWorkedExample(tree);
    std::ostringstream mut;
    tree.writeNewick(mut, 2, 0.0f);
    EXPECT_EQ(mut.str(), "((1.1:0, 2.1:1):2, 3.2:3);\n");

    // Kind 1: generations on the branch times the rate per site, in single
    // precision, printed in the stream's default (%g-like) real format.
    std::ostringstream sub;
    tree.writeNewick(sub, 1, 1.5e-5f);
    EXPECT_EQ(sub.str(), "((1.1:4.5e-05, 2.1:4.5e-05):0.000105, 3.2:0.00015);\n");
}

TEST(GenealogyTreeNewick, SingleGeneTree) {
    GenealogyTree tree(1);
    ASSERT_EQ(tree.nodeCount(), 1);
    tree.node(0).demeId = 0;
    std::ostringstream os;
    tree.writeNewick(os, 2, 0.0f);
    EXPECT_EQ(os.str(), "1.1;\n");
}

TEST(GenealogyTreeNodes, EveryTreeNumbersItsNodesFromOne) {
    GenealogyTree tree(3);
    ASSERT_EQ(tree.nodeCount(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(tree.node(i).number, i + 1);
    // Another tree, and the same tree rebuilt, number from 1 again.
    GenealogyTree other(2);
    EXPECT_EQ(other.node(0).number, 1);
    ASSERT_EQ(tree.resize(2), 1);
    EXPECT_EQ(tree.node(2).number, 3);
    EXPECT_EQ(tree.nodeByNumber(2), &tree.node(1));
    EXPECT_EQ(tree.nodeByNumber(4), nullptr);
}

TEST(GenealogyTreeNodes, AllocationFailuresAreReported) {
    GenealogyTree tree(3);
    testing::internal::CaptureStdout();
    EXPECT_EQ(tree.resize(INT_MAX), 0);  // 2n - 1 nodes cannot be numbered
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "TTree::TTree(int size) : unable to allocate memory\n");
    EXPECT_EQ(tree.nodeCount(), 0);
    EXPECT_EQ(tree.size(), 0);

    NodeList list;
    ASSERT_EQ(list.allocateList(4), 1);
    EXPECT_EQ(list.size(), 4);
    EXPECT_EQ(list[3], nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(list.allocateList(-1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "TListNode::allocate_list : unable to allocate memory\n");
    EXPECT_EQ(list.size(), 0);
}

TEST(GenealogyTreeIntList, GrowthAndClear) {
    IntList list(2, 3);
    EXPECT_EQ(list.capacity(), 3);  // requested size + 1
    for (int v = 10; v < 14; ++v) ASSERT_TRUE(list.append(v));
    EXPECT_EQ(list.capacity(), 6);  // full at 3, grown to count + growth
    EXPECT_EQ(list.count(), 4);
    EXPECT_EQ(list[0], 10);
    EXPECT_EQ(list[3], 13);
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.capacity(), 6);

    IntList noGrowth(0, 0);  // would never find room: grows by one instead
    ASSERT_TRUE(noGrowth.append(1));
    ASSERT_TRUE(noGrowth.append(2));
    EXPECT_EQ(noGrowth.count(), 2);
    EXPECT_THROW(IntList(-1, 1), std::bad_alloc);
}

TEST(GenealogyTreeNodes, LocationHistory) {
    TreeNode node;
    testing::internal::CaptureStdout();
    EXPECT_EQ(node.storeMigration(4, 12), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "TNode::Store_Node_Migration: Impossible to add migration into the DB :0 at time 12\n");

    ASSERT_EQ(node.create_LocationVector(), 1);
    EXPECT_EQ(node.locations->capacity(), 101);
    for (int g = 0; g < 150; ++g) ASSERT_EQ(node.storeMigration(1000 + g, g), 1);
    EXPECT_EQ(node.locations->count(), 150);
    EXPECT_EQ((*node.locations)[120], 1120);
    EXPECT_EQ((*node.generations)[120], 120);
    ASSERT_EQ(node.clearLocations(), 1);
    EXPECT_EQ(node.generations->count(), 0);
    EXPECT_EQ(node.generations->capacity(), 201);
}

// Five genes. Sample X (segment index 0, slot 0): leaves 0, 1, 2; sample Y
// (segment 3): leaf 3; sample Z (segment 5): leaf 4. Sample X sits on the
// first segment, so internal nodes (segment index -1) must not be taken for
// its genes. Internal nodes with their forward generations:
//   node 5 = (leaf 0, leaf 3)  gen 90      node 7 = (node 5, node 6)  gen 50
//   node 6 = (leaf 1, leaf 2)  gen 80      node 8 = (node 7, leaf 4)  gen 10 (root)
class FindSampleMrca : public testing::Test {
protected:
    void SetUp() override { build(); }
    void build() {
        ASSERT_EQ(tree.resize(5), 1);
        const int segment[5] = {0, 0, 0, 3, 5};
        for (int i = 0; i < 5; ++i) {
            TreeNode& leaf = tree.node(i);
            leaf.segmentIndex = segment[i];
            leaf.sampleSlot = 0;
            ASSERT_EQ(leaf.create_LocationVector(), 1);
            ASSERT_EQ(leaf.storeMigration(100 + segment[i], 100), 1);
        }
        join(tree.node(5), tree.node(0), tree.node(3), 10, 100, 90);
        join(tree.node(6), tree.node(1), tree.node(2), 20, 100, 80);
        join(tree.node(7), tree.node(5), tree.node(6), 50, 100, 50);
        join(tree.node(8), tree.node(7), tree.node(4), 90, 100, 10);
    }
    void setGeneration(int index, int generation) { (*tree.node(index).generations)[0] = generation; }
    GenealogyTree tree;
};

TEST_F(FindSampleMrca, SingleGeneSampleGivesItsParent) {
    EXPECT_EQ(tree.findSampleMrca(3, 0), 6);  // leaf 3 -> node 5
    EXPECT_EQ(tree.findSampleMrca(5, 0), 9);  // leaf 4 -> the root
}

TEST_F(FindSampleMrca, SeveralGenesGiveTheirLastCommonAncestor) {
    // Node 5 is the most recent ancestor of leaf 0 but not of leaves 1 and 2.
    EXPECT_EQ(tree.findSampleMrca(0, 0), 8);
    EXPECT_EQ(tree.findSampleMrca(0, 1), -1);  // no gene of that sample
}

TEST_F(FindSampleMrca, TieGoesToTheMoreRecentEntry) {
    // Ancestors that arose before the first forward generation all carry
    // generation 0: among equals the first one found (the lowest) wins.
    setGeneration(7, 0);
    setGeneration(8, 0);
    EXPECT_EQ(tree.findSampleMrca(0, 0), 8);
    setGeneration(6, 0);
    setGeneration(5, 0);
    EXPECT_EQ(tree.findSampleMrca(3, 0), 6);
}
