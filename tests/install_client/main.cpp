// Builds against the installed headers only (no Qt) and links the library.
#include "news_center/news_center.h"

int main() {
    ICommonPublisher* counters = GetCommonPublisher();
    DestroyAllPublisher();
    return counters ? 0 : 1;
}
