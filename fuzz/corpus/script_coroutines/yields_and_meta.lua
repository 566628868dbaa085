local mt = {__index = function(t, k) yield(k) return k end, __concat = function(a, b) return "c" end,
  __call = function(self, ...) return ... end, __lt = function() return true end, __len = function() return 3 end}
local m = setmetatable({}, mt)
local function worker(...)
  local a, b, c = ...
  for i = 1, 5 do
    local v = m.x .. m .. i
    yield(v, m < m, #m, m(a, b, c, ...))
  end
  return ...
end
local co = cocreate(worker)
while costatus(co) ~= "dead" do out(coresume(co, 1, 2, 3, 4, 5)) end
local function nest(n, ...) if n > 0 then return coresume(cocreate(nest), n - 1, n, ...) end return ... end
out(nest(30))
