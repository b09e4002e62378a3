// Every plug-in instance in the process, so that the scripts of one instance
// can reach the others by their OSC port offset. Instances register at the
// end of their construction and leave at the start of their destruction.
#pragma once

class VmraAuBase;

class VmraInstanceTracker
{
public:
    static void AddInstance(VmraAuBase* unit);
    // Removes every occurrence of unit.
    static void RemoveInstance(VmraAuBase* unit);

    // Stores the plain value directly into the current program of every
    // instance whose OSC index matches, then asks its host to re-read.
    static void SetParameterOnAllByOSCIndex(int oscIndex, int param, float value);
    // The value in the first matching instance; 0 when none matches.
    static float GetParameterFromAllByOSCIndex(int oscIndex, int param);
    static void SetGUIBoolValueOnAllByOSCIndex(int oscIndex, int indicator, int on);
    static bool GetGUIBoolValueFromAllByOSCIndex(int oscIndex, int indicator);

    static int NumInstances();
};
