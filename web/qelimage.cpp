#include "qelsession.h"

// The image served with the page is the one this module was built with:
// imagedigest.h is generated from that very file (resources/imagedigest.cmake).
#include "imagedigest.h"

extern "C" {

size_t qel_image_size(void)
{
    return size_t(ImageDigest::Size);
}

const char *qel_image_sha256(void)
{
    return ImageDigest::Sha256;
}

} // extern "C"
