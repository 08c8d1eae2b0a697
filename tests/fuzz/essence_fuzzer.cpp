// The information essence completion (/pc/information/sum_article_list).

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Round round;
    IInformationEssence* essence = GetInformationEssence();
    fuzz::Subscriber<std::list<InformationEssence> > subscriber;
    essence->Attach(&subscriber);
    // The worker sends one of its own as well; both have the same completion.
    essence->FetchInformationEssence(0, 0, 50);
    fuzz::CompleteWith(data, size);
    fuzz::Require(subscriber.updates <= 2, "one publish per response");
    fuzz::Require(fuzz::LogCount() <= 1, "at most one log line per response");
    essence->Detach(&subscriber);
    return 0;
}
