-- Integer-only work that lua5.2 prints the same way.
local function sieve(n)
  local composite, primes = {}, {}
  for i = 2, n do
    if not composite[i] then
      primes[#primes + 1] = i
      for j = i * i, n, i do composite[j] = true end
    end
  end
  return primes
end
local p = sieve(181) -- i * i stays within 16.16
out(#p, p[1], p[10], p[#p])

local words = {}
for _, w in pairs({"b", "a", "c"}) do words[w] = (words[w] or 0) + 1 end
out(words.a, words.b, words.c, words.d)

local Stack = {}
Stack.__index = Stack
function Stack.new() return setmetatable({n = 0}, Stack) end
function Stack:push(v) self.n = self.n + 1 self[self.n] = v end
function Stack:pop() local v = self[self.n] self[self.n] = nil self.n = self.n - 1 return v end
local s = Stack.new()
for i = 1, 10 do s:push(i * 3) end
local total = 0
while s.n > 0 do total = total + s:pop() end
out(total, getmetatable(s) == Stack, type(s), type(Stack.new), type(nil))

local function gen(n)
  return cocreate(function() for i = 1, n do yield(i * i) end return "end" end)
end
local co = gen(4)
local line = ""
while true do
  local ok, v = coresume(co)
  line = line .. (v == nil and "nil" or v) .. " "
  if costatus(co) == "dead" then break end
end
out(line)
