// Plugs the texture store into the viewport's texture lookup.
#pragma once

#include "render/texture_store.h"
#include "render/viewport.h"

namespace dv {

// Lookup through the store: Select(slot), then its current texture.
inline TextureSource StoreTextureSource(TextureStore& store) {
    return TextureSource{&store, [](void* user, int32_t slot) -> Texture* {
                             auto* s = static_cast<TextureStore*>(user);
                             s->Select(slot);
                             return s->GetCurrent();
                         }};
}

}  // namespace dv
