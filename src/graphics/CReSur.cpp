#include "graphics/CReSur.h"

#include "graphics/CDx_Gr.h"
#include "graphics/CLoadTex.h"
#include "core/MapSceneEntity.h"
#include "platform/platform.h"
#include "core/Messages.h"
#include "core/System.h"
#include "platform/common/text.h"

namespace {

// The list name that marks an id as unused.
constexpr char16_t kEmptyName[] = u"null0000.png";

// A name slot holds at most kNameSlotUnits units and need not be terminated when its record was
// malformed; compare within the slot only.
bool SlotEquals(const char16_t* slot, const char16_t* text) {
    int i = 0;
    for (; i < kNameSlotUnits && text[i] != 0; ++i) {
        if (slot[i] != text[i]) return false;
    }
    return i == kNameSlotUnits || slot[i] == 0;
}

// Copies a slot into a terminated name of at most kNameSlotUnits units (terminator included).
void CopySlot(char16_t* dst, const char16_t* slot) {
    int i = 0;
    for (; i < kNameSlotUnits - 1 && slot[i] != 0; ++i) dst[i] = slot[i];
    for (; i < kNameSlotUnits; ++i) dst[i] = 0;
}

}  // namespace

CReSur::CReSur(CDx_Gr* r, System* s, MapSceneEntity* m) : renderer(r), system(s), scene(m) {}

CReSur::~CReSur() = default;

bool CReSur::ReloadTextures() {
    CLoadTex loader(renderer, kTextureColourDepth);
    for (int32_t id = 0; id < kListTextures; ++id) {
        renderer->ReleaseTexture(id);
        char16_t* name = scene->texturePathNames[id];
        CopySlot(name, scene->textureNames[id]);
        if (!SlotEquals(scene->textureNames[id], kEmptyName)) {
            char16_t path[kPathChars];
            if (!U16Copy(path, kPathChars, system->dataFolder) || !U16Cat(path, kPathChars, name)) {
                // Cannot name the file: it cannot be found either.
                Tell(MessageId::kFileNotFound, name);
                return false;
            }
            if (!loader.LoadPng(id, path)) return false;
        }
        // Let the window stay responsive while a set of textures loads.
        Plat().clock->Sleep(0);
    }
    scene->textureReloadFlag = 0;
    return true;
}
