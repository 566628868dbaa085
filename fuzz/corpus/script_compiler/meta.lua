local mt = {__index = function(t, k) return k .. "?" end, __add = function(a, b) return 1 end,
  __concat = function(a, b) return "c" end, __lt = function() return true end, __call = function() return 0 end}
local a = setmetatable({}, mt)
out(a.x, a + 1, a .. "s", a < a, a(), getmetatable(a) == mt, type(a))
local ok = a.y and sub("hello", 2, -2)
