// The depth older-page completion (/pc/information/get_depth through GetAsyn).

#include <set>

#include "tests/fuzz/depth_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Round round;
    fuzz::DepthScript script;
    // An older page is only asked for over a loaded cache.
    script.Cycle(fuzz::kDepthSeedPage);
    hostdouble::TakeNext();  // the counters of the seed articles

    int calls = 0;
    bool newArticlesOnly = true;
    script.depth()->RequestEarlierDepth([&](const std::list<DepthArticle>& page) {
        ++calls;
        std::set<int> ids;
        for (const DepthArticle& article : page)
            newArticlesOnly = newArticlesOnly && article.id != 900001 && article.id != 900002 &&
                              ids.insert(article.id).second;
    });
    fuzz::CompleteWith(data, size);
    fuzz::Require(calls == 1, "the callback runs once");
    fuzz::Require(newArticlesOnly, "the callback gets each new article once");
    fuzz::Require(fuzz::LogCount() <= 1, "at most one log line per response");
    script.Cycle(fuzz::kDepthSeedPage);
    return 0;
}
