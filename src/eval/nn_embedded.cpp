// The network compiled into the program. The build defines VELLUM_EMBEDDED_NET as the path of
// the file to embed (nets/vellum.nnue by default, when it exists); without it the program
// embeds nothing and "embedded" keeps the hand-crafted evaluation.
#include "eval/nn.h"
#include "eval/nn_embed.h"

#if defined(VELLUM_EMBEDDED_NET)

VELLUM_INCBIN(vellum_embedded_net, VELLUM_EMBEDDED_NET)

const u8* embedded_network(u64* size) {
    *size = u64(vellum_embedded_net_end - vellum_embedded_net);
    return vellum_embedded_net;
}

#else

const u8* embedded_network(u64* size) {
    *size = 0;
    return nullptr;
}

#endif
