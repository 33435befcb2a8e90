@export
def quote(amount: int, price: int):
    total = amount * price
    fee = total // 100
    return {"amount": amount, "total": total, "fee": fee, "net": total - fee}
