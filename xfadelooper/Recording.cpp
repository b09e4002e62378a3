// Live recording (effect build): the input is written into the record
// buffer, and the freshly written stretch is copied into the play buffer once
// per block. Voices reading the replaced stretch fade from the old material
// to the new.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "xfadelooper/ParamInfo.h"
#include "xfadelooper/VmraXFadeLooper.h"

namespace
{
// A sample that is not a finite number is recorded as silence, so that it
// cannot stay in the loop through the feedback for good.
inline float finite(float x)
{
    return std::isfinite(x) ? x : 0.0f;
}
} // namespace

void VmraXFadeLooper::Record(const float* inLeft, const float* inRight, unsigned long n)
{
    m_recordStart = m_recordEnd = 0;
    if (m_bufferFrames == 0 || !m_recordBuffer.Data())
        return;
    unsigned long c = std::min<unsigned long>(n, 64);

    int mode = static_cast<int>(Param(kParam_RecordMode));
    int gate = 0;
    bool records = true;
    switch (mode)
    {
    case 1:
    case 2:
        gate = static_cast<int>(Param(kParam_RecordOnOff));
        records = gate != 0;
        if (mode == 2 && gate != 0 && m_lastGate == 0)
            m_recordPos = 0;
        break;
    case 3:
    case 4:
        gate = m_numNotes > 0 ? 1 : 0;
        records = gate != 0;
        if (mode == 4 && gate != 0 && m_lastGate == 0)
            m_recordPos = 0;
        break;
    case 5:
        gate = static_cast<int>(Param(kParam_RecordOnOff));
        if (gate != 0 && m_lastGate == 0)
        {
            if (!m_triggerRunning)
                m_recordPos = 0;
            m_triggerRunning = true;
        }
        records = m_triggerRunning;
        break;
    default:
        break;
    }
    m_lastGate = gate;
    if (!records)
        return;

    Publish(m_dataToGui.recordGain, 1.0f);
    Publish(m_dataToGui.recordPosition, static_cast<float>(m_recordPos) / m_bufferFrames);
    const long L = static_cast<long>(m_bufferFrames);
    if (static_cast<long>(c) > L)
        return;
    // The length may have shrunk under the write position since the last
    // block: wrap it into the current length.
    long pos = m_recordPos;
    if (pos < 0 || pos >= L)
        pos = pos < 0 ? 0 : pos % L;

    float* record = m_recordBuffer.Data();
    float* save = m_recordSave.Data();
    // Put back the true values of the previous block's faded tail, when
    // recording goes on where it stopped. The tail is as long as that
    // block's fade, which need not be this block's (hosts vary their block
    // sizes); after a jump (restart, a shorter length) the old tail keeps its
    // fade into the material around it.
    long restore = pos == m_recordSaveEnd ? m_recordSaveCount : 0;
    if (restore > L)
        restore = 0;
    long start = pos - restore;
    if (start < 0)
        start += L;
    m_recordStart = static_cast<int>(start);
    for (long j = 0, f = start; j < restore; ++j)
    {
        record[2 * f] = save[2 * j];
        record[2 * f + 1] = save[2 * j + 1];
        if (++f == L)
            f = 0;
    }
    m_recordSaveCount = 0;

    if (m_triggerRunning && static_cast<long>(n) + pos >= L)
    {
        m_triggerRunning = false;
        Publish(m_dataToGui.recordPosition, 1.0f);
        Publish(m_dataToGui.recordGain, 0.0f);
        n = static_cast<unsigned long>(L - pos);
        if (n == 0)
        {
            m_recordPos = m_recordEnd = static_cast<int>(L - 1);
            return;
        }
        c = 0;
    }

    const float level = Param(kParam_RecordLevel);
    const float gain = level * level * level;
    const float fb = Param(kParam_Feedback) * 0.01f;
    unsigned long i = 0;
    for (; i < n - c; ++i)
    {
        float* frame = record + 2 * pos;
        frame[0] = gain * finite(inLeft[i]) + fb * frame[0];
        frame[1] = gain * finite(inRight[i]) + fb * frame[1];
        if (++pos == L)
            pos = 0;
    }
    float g = 1.0f;
    const float fall = c ? 1.0f / static_cast<float>(c) : 0.0f;
    for (unsigned long j = 0; i < n; ++i, ++j)
    {
        float* frame = record + 2 * pos;
        float newLeft = gain * finite(inLeft[i]) + fb * frame[0];
        float newRight = gain * finite(inRight[i]) + fb * frame[1];
        save[2 * j] = newLeft;
        save[2 * j + 1] = newRight;
        frame[0] = frame[0] + (newLeft - frame[0]) * g;
        frame[1] = frame[1] + (newRight - frame[1]) * g;
        g -= fall;
        if (++pos == L)
            pos = 0;
    }
    m_recordPos = m_recordEnd = static_cast<int>(pos);
    m_recordSaveCount = static_cast<int>(c);
    m_recordSaveEnd = static_cast<int>(pos);
}

bool VmraXFadeLooper::FigureDangerNotes()
{
    const long a = m_recordStart, b = m_recordEnd;
    if (a == b)
        return false;
    const long L = static_cast<long>(m_bufferFrames);
    auto inside = [&](long x) { return a < b ? (a <= x && x < b) : ((a <= x && x < L) || (0 <= x && x < b)); };
    bool any = false;
    for (int i = 0; i < m_numNotes; ++i)
    {
        Note& voice = m_notes[i];
        long p = static_cast<long>(voice.position);
        long q = static_cast<long>(voice.partnerPosition);
        if (inside(p) || inside(q))
        {
            voice.danger = true;
            any = true;
        }
    }
    return any;
}

void VmraXFadeLooper::RecordBufferCopy(int first, int end)
{
    if (end <= first)
        return;
    memcpy(m_buffer.Data() + 2 * first, m_recordBuffer.Data() + 2 * first,
           sizeof(float) * 2 * static_cast<size_t>(end - first));
}

void VmraXFadeLooper::RecordBufferCopy()
{
    const int a = m_recordStart, b = m_recordEnd;
    if (a == b || !m_buffer.Data() || !m_recordBuffer.Data())
        return;
    if (a < b)
    {
        RecordBufferCopy(a, b);
        UpdateSampleOverview(a, b);
        return;
    }
    // The region wraps; the length just set for this block bounds it (the
    // copy never reaches past the buffer's capacity).
    const int L = std::min(static_cast<int>(m_bufferFrames), m_maxBufferFrames);
    RecordBufferCopy(a, L);
    RecordBufferCopy(0, std::min(b, L));
    UpdateSampleOverview(a, L);
    UpdateSampleOverview(0, b);
}
