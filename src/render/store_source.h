// Plugs the texture store into the viewport: its texture lookup and texture preloading.
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

// Sends every stored texture to the viewport's device now; textures drawn first in a late
// room then cost no upload (and no memory growth) mid-game. Returns how many were uploaded.
inline int PreloadTextures(Viewport& viewport, const TextureStore& store) {
    int uploaded = 0;
    for (int i = 0; i < store.Entries.Count(); ++i) {
        const TextureSlotRecord* record = store.Entries.BlockAt(i);
        if (record != nullptr && record->Tex && viewport.Preload(*record->Tex)) ++uploaded;
    }
    return uploaded;
}

}  // namespace dv
