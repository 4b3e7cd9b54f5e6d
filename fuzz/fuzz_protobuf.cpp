// Text trees: the reader on any text. A tree it gives must be written,
// read back with the same names, values and shape, and written the same
// again. Each further text of the input (after a NUL byte) is applied as
// an overwrite, after which the tree must still make that round trip.
#include "fuzz_support.h"

#include <memory>
#include <utility>

namespace {

typedef std::unique_ptr<PGM_PROTOBUF> TREE;

bool same_tree(const PGM_PROTOBUF* a, const PGM_PROTOBUF* b)
{
    std::vector<std::pair<const PGM_PROTOBUF*, const PGM_PROTOBUF*>> pending = {{a, b}};
    while (!pending.empty()) {
        const PGM_PROTOBUF* x = pending.back().first;
        const PGM_PROTOBUF* y = pending.back().second;
        pending.pop_back();
        if (x->name != y->name || x->value != y->value || x->childs.size() != y->childs.size())
            return false;
        for (size_t i = 0; i < x->childs.size(); ++i)
            pending.push_back({x->childs[i], y->childs[i]});
    }
    return true;
}

std::string write_tree(const PGM_PROTOBUF* top)
{
    std::string text;
    if (!PGM_COMMON::convert_pgm_protobuf_to_string(top, text, "").empty() || text.empty())
        std::abort();
    return text;
}

void round_trip(const PGM_PROTOBUF* top)
{
    const std::string text = write_tree(top);
    TREE again;
    try {
        again.reset(PGM_COMMON::convert_string_to_pgm_protobuf(text));
    } catch (const PGM_INTERNAL_ERROR&) {
        std::abort(); // the writer wrote what its reader refuses
    }
    if (!again || !same_tree(top, again.get()) || write_tree(again.get()) != text)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> texts = fuzz_texts(data, size);
    TREE top;
    fuzz_run([&] { top.reset(PGM_COMMON::convert_string_to_pgm_protobuf(texts[0])); });
    if (!top)
        return 0;
    round_trip(top.get());
    for (size_t i = 1; i < texts.size(); ++i) {
        std::string reason, name, value;
        fuzz_run([&] { PGM_COMMON::overwrite_pgm_protobuf(top.get(), texts[i], reason, name, value); });
        round_trip(top.get());
    }
    return 0;
}
