#pragma once

#if defined(_WIN32)
#if defined(LX_NEWS_CENTER_BUILDING)
#define LX_NEWS_CENTER_API __declspec(dllexport)
#else
#define LX_NEWS_CENTER_API __declspec(dllimport)
#endif
#else
#define LX_NEWS_CENTER_API __attribute__((visibility("default")))
#endif
