#pragma once

#include <wand/MagickWand.h>

#include <memory>

// Owners of MagickWand's and MagickCore's handles, so that every way out of a function frees them.
namespace MagickHandles {

struct ImageInfoDeleter
{
    void operator()(ImageInfo *info) const { DestroyImageInfo(info); }
};
struct ExceptionDeleter
{
    void operator()(ExceptionInfo *exception) const { DestroyExceptionInfo(exception); }
};
struct WandDeleter
{
    void operator()(MagickWand *wand) const { DestroyMagickWand(wand); }
};
struct TextDeleter
{
    void operator()(char *text) const { RelinquishMagickMemory(text); }
};

using ImageInfoHandle = std::unique_ptr<ImageInfo, ImageInfoDeleter>;
using ExceptionHandle = std::unique_ptr<ExceptionInfo, ExceptionDeleter>;
using WandHandle = std::unique_ptr<MagickWand, WandDeleter>;
using TextHandle = std::unique_ptr<char, TextDeleter>;

inline ExceptionHandle newException()
{
    return ExceptionHandle(AcquireExceptionInfo());
}

} // namespace MagickHandles
