-- A table with every whole key has no border: # must still end.
local t = {} for i = -32768, 32767 do t[i] = i end out(#t)
