// Plugs the texture store into the viewport's texture lookup.
#pragma once

#include "render/texture_store.h"
#include "render/viewport.h"

namespace dv {

// Lookup through the store: Select(slot), then its current texture.
inline TextureSource StoreTextureSource(Td3dTexture_buffer& store) {
    return TextureSource{&store, [](void* user, int32_t slot) -> Texture* {
                             auto* s = static_cast<Td3dTexture_buffer*>(user);
                             s->Select(slot);
                             return s->GetCurrent();
                         }};
}

}  // namespace dv
