#pragma once
// Symbols of the host libraries stay visible to the plug-in and the host even
// when a client builds with -fvisibility=hidden.
#define ZQ_API __attribute__((visibility("default")))
