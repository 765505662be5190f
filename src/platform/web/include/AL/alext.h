// The browser's OpenAL (over Web Audio) has no extension header and no offline loopback
// device. These are the loopback names the shared sound code spells out; the extension is
// never reported present, so that code only reaches its "cannot render offline" message.
#pragma once

#include <AL/al.h>
#include <AL/alc.h>

#ifndef ALC_FORMAT_CHANNELS_SOFT
#define ALC_FORMAT_CHANNELS_SOFT 0x1990
#define ALC_FORMAT_TYPE_SOFT 0x1991
#define ALC_STEREO_SOFT 0x1501
#define ALC_FLOAT_SOFT 0x1406
#endif
#ifndef ALC_HRTF_SOFT
#define ALC_HRTF_SOFT 0x1992
#endif

typedef ALCdevice* (*LPALCLOOPBACKOPENDEVICESOFT)(const ALCchar*);
typedef ALCboolean (*LPALCISRENDERFORMATSUPPORTEDSOFT)(ALCdevice*, ALCsizei, ALCenum, ALCenum);
typedef void (*LPALCRENDERSAMPLESSOFT)(ALCdevice*, ALCvoid*, ALCsizei);
