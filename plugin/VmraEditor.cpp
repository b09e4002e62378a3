#include "plugin/VmraEditor.h"

bool VmraEditor::open(void* window)
{
    AEffEditor::open(window);
    ERect* rect = nullptr;
    if (getRect(&rect) && rect)
    {
        m_height = rect->bottom;
        m_width = rect->right;
    }
    return false;
}
