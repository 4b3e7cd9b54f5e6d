// PGM_PROTOBUF: one node of a text tree (see PGM_COMMON's text-tree
// functions). A field has a name and a value; a block has a name and
// children; the top node has neither name nor value.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <string>
#include <vector>

struct PGM_COMMON_API PGM_PROTOBUF {
    // The top node.
    PGM_PROTOBUF();
    // A node of parent; the caller appends it to parent->childs.
    PGM_PROTOBUF(std::string name, std::string value, PGM_PROTOBUF* parent);
    // Deletes the children: a node owns its subtree.
    ~PGM_PROTOBUF();
    PGM_PROTOBUF(const PGM_PROTOBUF&) = delete;
    PGM_PROTOBUF& operator=(const PGM_PROTOBUF&) = delete;

    std::string name;
    std::string value;
    std::vector<PGM_PROTOBUF*> childs;
    PGM_PROTOBUF* parent;
};
