-- Built-in MIDI script of Orvotide.
--
-- The modulation wheel (controller 1) sweeps the filter cutoff across its
-- whole range on an exponential curve, so equal wheel movements give equal
-- musical steps. Drop a script whose name starts with "midi.lua" into your
-- Scripts folder to replace this one.

local cutoff = getParameterID("Filter Cutoff")
local low, high = getParameterMinMax(cutoff)

local function wheelToCutoff(value)
    return low * (high / low) ^ (value / 127)
end

requestCC(1, function(channel, controller, value)
    setParameter(cutoff, wheelToCutoff(value))
end)
