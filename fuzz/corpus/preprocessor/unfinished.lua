s = "open
a != b
--[[ open
