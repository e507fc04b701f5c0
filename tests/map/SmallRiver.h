// The small river of the map tests: three segments in a Y (2 and 3 join at
// node 2 and flow into 1, the mouth), a source at the mouth, and the samples
// given (name, genes, segment; one line each).
#pragma once

#include <string>

#include "support/TestFiles.h"

inline void writeSmallRiver(const testing_support::TempFolder& folder,
                            const std::string& samples = "North\t3\t2\nSouth\t3\t3\n") {
    folder.write("nodes.txt",
                 "Title\nDate\nNodes: 4\nNodeID\tLon\tLat\n1\t10.00\t45.00\n2\t10.01\t45.00\n3\t10.02\t45.01\n"
                 "4\t10.02\t44.99\n");
    folder.write("segments.txt",
                 "Title\nDate\nSegments: 3\nSegID\tFNode\tTNode\tLength\tLon\tLat\n"
                 "1\t2\t1\t790\t10.005\t45\n2\t3\t2\t1350\t10.015\t45.005\n3\t4\t2\t1350\t10.015\t44.995\n");
    folder.write("populations.txt", "1\n0\nName\tSize\tSegID\tResize\tMigration\nMouth\t50\t1\t0\t0\n");
    folder.write("samples.txt", "2\n0\nName\tGenes\tSegID\n" + samples);
}
