#pragma once
// The helper unit is compiled into several modules. Only the runtime package
// libTavrel.so exports it (KV_TAVREL_BUILD); every other module keeps its copy
// hidden, so a site library loaded into any of them binds to Tavrel's copy.
#ifdef KV_TAVREL_BUILD
#define COMMON_API __attribute__((visibility("default")))
#else
#define COMMON_API
#endif
