-- Numeric for loops with arithmetic.
local x, y = 1, 0
for i = 1, 1500 do
  for j = 1, 500 do
    x = (x * 3 + j) % 1021
    y = y + x / 64 - j % 7
  end
  y = y % 1000
end
out(x, y)
