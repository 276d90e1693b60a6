// Frames "<decimal length>:<bytes>" over a byte stream, the same on every platform: the worker
// processes' requests and answers (platform/Workers.h). Only the reading of bytes differs.
#pragma once

#include <cstddef>

#include "platform/FixedText.h"

// Reads exactly `count` bytes from `source` into `buffer`; false at the end of the stream or on
// an error.
using ReadExactly = bool (*)(void *source, char *buffer, size_t count);

// Reads one frame into `frame`. False at the end of the stream, on a read error and on a frame
// that is malformed: no digits or more than six of them before the colon, a length above `limit`
// or above what `frame` holds, a zero byte in its text (a text holds none).
bool ReadFrame(ReadExactly read, void *source, TextBase &frame, size_t limit);

// The header that goes before a frame's text.
void FrameHeader(TextBase &header, size_t length);
