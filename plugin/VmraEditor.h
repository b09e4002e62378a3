// Base of the product's editor: remembers the host's parent window and the
// editor's size; the GUI editor receives parameter changes through
// setParameter.
#pragma once

#include <cstdint>

#include "vst/AudioEffect.h"

class VmraEditor : public AEffEditor
{
public:
    explicit VmraEditor(AudioEffect* effect) : AEffEditor(effect) {}

    bool open(void* window) override;

    // A parameter changed to the plain value; the GUI editor overrides this.
    virtual void setParameter(int, float) {}

protected:
    void* m_userPane = nullptr;
    bool m_isCompositing = false;
    int16_t m_height = 0;
    int16_t m_width = 0;
};
