local function f(a, ...) local t = {...} return function() return a, #t end end
return f(1, 2, 3)()
