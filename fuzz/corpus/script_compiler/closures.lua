local function counter() local n = 0 return function() n = n + 1 return n end end
local c = counter() c() c()
local function f(...) return select and ... end
local co = cocreate(function(a) local b = yield(a) return a + b end)
out(coresume(co, 1)) out(coresume(co, 2)) out(costatus(co))
