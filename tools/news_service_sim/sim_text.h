#pragma once

// Made-up newsroom text, Chinese with some ASCII, all UTF-8.

#include <string>

#include "tools/news_service_sim/sim_random.h"

namespace news_sim {

std::string Headline(SimRandom& random);
// "【headline】" and one more sentence, as flash news reads.
std::string FlashContent(SimRandom& random);
std::string Brief(SimRandom& random);
std::string Author(SimRandom& random);
// A few sentences, for essence contents and event details.
std::string Paragraph(SimRandom& random, int sentences);
std::string PartyName(SimRandom& random);

}  // namespace news_sim
