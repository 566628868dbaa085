-- A module that returns nothing.
local x = 1
